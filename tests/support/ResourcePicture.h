// A bitmap of a program's resources, read from its executable file, to tell which of its pictures
// a window shows: a GUI test or the benchmark compares a capture of the client area with it.
#pragma once

#include "tests/support/ClientPixels.h"

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

class ResourcePicture {
public:
    // Bitmap resource `id` of `exe` (loaded as data, never run). nullopt when it is not there.
    static std::optional<ResourcePicture> Load(const std::wstring& exe, int id);

    int Width() const { return m_width; }
    int Height() const { return m_height; }
    COLORREF At(int x, int y) const { return m_pixels[static_cast<std::size_t>(y) * m_width + x]; }

    // The share (0 to 1) of the pixels of `area` (client coordinates, clipped to both images) in
    // which `shot` has exactly this picture's colour. 0 for an empty area.
    double Agreement(const ClientPixels& shot, const RECT& area) const;
    double Agreement(const ClientPixels& shot) const;

private:
    ResourcePicture(int width, int height, std::vector<COLORREF> pixels)
        : m_width(width), m_height(height), m_pixels(std::move(pixels)) {}

    int m_width;
    int m_height;
    std::vector<COLORREF> m_pixels;
};

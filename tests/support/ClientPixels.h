// The pixels of a window's client area as they are on screen, read from a GUI test: GetDC of the
// window and BitBlt into a memory DC (PrintWindow on another process's window comes back black
// under Wine). The window must be visible and not covered.
#pragma once

#include <windows.h>

#include <optional>
#include <vector>

class ClientPixels {
public:
    // Copies the whole client area of `window`; nullopt when it cannot be read.
    static std::optional<ClientPixels> Capture(HWND window);

    int Width() const { return m_width; }
    int Height() const { return m_height; }
    // The colour at client point (x, y); the point must lie inside.
    COLORREF At(int x, int y) const { return m_pixels[static_cast<std::size_t>(y) * m_width + x]; }
    // How many pixels of the rectangle [left, right) x [top, bottom) have exactly `colour`.
    int Count(const RECT& area, COLORREF colour) const;

private:
    ClientPixels(int width, int height, std::vector<COLORREF> pixels)
        : m_width(width), m_height(height), m_pixels(std::move(pixels)) {}

    int m_width;
    int m_height;
    std::vector<COLORREF> m_pixels;
};

// A 32-bit DIB section with top-down rows, for pixels read as COLORREF-sized cells; the caller
// owns it (DeleteObject). nullptr when it cannot be made.
HBITMAP CreateTopDownDib(HDC dc, int width, int height, void** bits);

// What a transaction screen should look like, composed in the test the way the program paints it:
// the program's own bitmaps (read from QuillonTest.exe's resources) copied pixel for pixel, and
// texts drawn with a device context's defaults (system font, black on an opaque white cell). A
// capture of the real window is then compared with it pixel by pixel.
#pragma once

#include "tests/support/ClientPixels.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class ExpectedScreen {
public:
    // A screen of the skins' size whose background is bitmap `bitmapId` of `exe`. Empty (false
    // from Valid) when the executable or the bitmap cannot be read.
    ExpectedScreen(const std::wstring& exe, int bitmapId);
    ~ExpectedScreen();
    ExpectedScreen(ExpectedScreen&& other) noexcept
        : m_module(std::exchange(other.m_module, nullptr)), m_dc(std::exchange(other.m_dc, nullptr)),
          m_bitmap(std::exchange(other.m_bitmap, nullptr)),
          m_previous(std::exchange(other.m_previous, nullptr)), m_bits(std::exchange(other.m_bits, nullptr)) {
    }
    ExpectedScreen(const ExpectedScreen&) = delete;
    ExpectedScreen& operator=(const ExpectedScreen&) = delete;

    bool Valid() const { return m_bits != nullptr; }

    // Paints bitmap `bitmapId` of the executable into the skin area at x, y of width x height
    // (the picture's own size when negative), as the program's skins paint it.
    bool DrawBitmap(int bitmapId, int x, int y, int width = -1, int height = -1);
    // TextOut with the default attributes, as the program draws its coin and result lines.
    void DrawText(int x, int y, std::wstring_view text);

    COLORREF At(int x, int y) const;
    // How many pixels of `area`, outside the rectangles `except`, differ between this screen and
    // `actual`.
    // `bounds`, when given, receives the smallest rectangle that holds them.
    int Differences(const ClientPixels& actual, const RECT& area, const std::vector<RECT>& except = {},
                    RECT* bounds = nullptr) const;

    static constexpr int kSize = 600;

private:
    HMODULE m_module = nullptr;
    HDC m_dc = nullptr;
    HBITMAP m_bitmap = nullptr;
    HGDIOBJ m_previous = nullptr;
    const std::uint32_t* m_bits = nullptr;
};

// What a transaction screen should look like, composed in the test the way the program paints it:
// the program's own bitmaps (read from QuillonTest.exe's resources) copied pixel for pixel, and
// texts drawn with a device context's defaults (system font, black on an opaque white cell). A
// capture of the real window is then compared with it pixel by pixel.
#pragma once

#include "tests/support/ClientPixels.h"

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class ExpectedScreen {
public:
    // A screen of the skins' size whose background is bitmap `bitmapId` of `exe`. Empty (false
    // from Valid) when the executable or the bitmap cannot be read.
    ExpectedScreen(const std::wstring& exe, int bitmapId);
    ~ExpectedScreen();
    ExpectedScreen(const ExpectedScreen&) = delete;
    ExpectedScreen& operator=(const ExpectedScreen&) = delete;

    bool Valid() const { return m_bits != nullptr; }

    // Copies bitmap `bitmapId` of the executable with its top-left corner at x, y.
    bool DrawBitmap(int bitmapId, int x, int y);
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

// How many pixels of `area` in `pixels` are dark enough to be text (no channel above 96).
int DarkPixels(const ClientPixels& pixels, const RECT& area);

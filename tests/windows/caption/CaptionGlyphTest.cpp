// The caption buttons of the Wine prefix the program runs in: Wine draws their glyphs with the
// Marlett font, and without it the close box shows the letter "r" (Marlett's code for the close
// glyph) in a fallback font. The test window has the program's own caption style and a Hangul
// caption, and reads back the pixels of its close box: Marlett's close glyph is an X, symmetric
// left to right and top to bottom; an "r" is neither.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <vector>

namespace {

struct Glyph {
    int width = 0, height = 0;
    std::vector<bool> dark; // row-major over the close box
    bool At(int x, int y) const { return dark[static_cast<std::size_t>(y) * width + x]; }
};

// The close box of `window`: the last button of the caption, at the window's top right corner
// inside the frame, less the button's edges.
Glyph CloseBox(HWND window) {
    RECT outer;
    GetWindowRect(window, &outer);
    const int frame = GetSystemMetrics(SM_CXFIXEDFRAME);
    const int right = outer.right - outer.left - frame;
    Glyph g;
    g.width = GetSystemMetrics(SM_CXSIZE) - 4;
    g.height = GetSystemMetrics(SM_CYCAPTION) - 5;
    HDC dc = GetWindowDC(window);
    for (int y = 0; y < g.height; ++y) {
        for (int x = 0; x < g.width; ++x) {
            const COLORREF c = GetPixel(dc, right - g.width - 3 + x, frame + 1 + y);
            g.dark.push_back(GetRValue(c) + GetGValue(c) + GetBValue(c) < 3 * 128);
        }
    }
    ReleaseDC(window, dc);
    return g;
}

// The share of dark pixels whose mirror image inside the glyph's bounding box is dark too.
double MirrorShare(const Glyph& g, bool leftRight, int* darkCount) {
    int left = g.width, right = -1, top = g.height, bottom = -1;
    for (int y = 0; y < g.height; ++y)
        for (int x = 0; x < g.width; ++x)
            if (g.At(x, y)) {
                left = std::min(left, x), right = std::max(right, x);
                top = std::min(top, y), bottom = std::max(bottom, y);
            }
    int dark = 0, matched = 0;
    for (int y = top; y <= bottom; ++y)
        for (int x = left; x <= right; ++x)
            if (g.At(x, y)) {
                ++dark;
                matched += leftRight ? g.At(left + right - x, y) : g.At(x, top + bottom - y);
            }
    *darkCount = dark;
    return dark ? static_cast<double>(matched) / dark : 0.0;
}

TEST(CaptionGlyph, CloseBoxDrawsAnX) {
    WNDCLASSW cls = {};
    cls.lpfnWndProc = DefWindowProcW;
    cls.hInstance = GetModuleHandleW(nullptr);
    cls.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    cls.lpszClassName = L"QuillonCaptionProbe";
    RegisterClassW(&cls);
    HWND window = CreateWindowExW(WS_EX_DLGMODALFRAME | WS_EX_TOPMOST, cls.lpszClassName, L"별바다 포스",
                                  WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_DLGFRAME, 40, 40, 320, 120, nullptr,
                                  nullptr, cls.hInstance, nullptr);
    ASSERT_NE(window, nullptr);
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    const DWORD until = GetTickCount() + 500;
    MSG msg;
    while (GetTickCount() < until) {
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
        Sleep(10);
    }
    const Glyph glyph = CloseBox(window);
    int dark = 0;
    const double leftRight = MirrorShare(glyph, true, &dark);
    const double topBottom = MirrorShare(glyph, false, &dark);
    DestroyWindow(window);
    EXPECT_GE(dark, 8) << "no glyph in the close box";
    EXPECT_GE(leftRight, 0.85) << "the close glyph is not symmetric left to right (an \"r\"?)";
    EXPECT_GE(topBottom, 0.85) << "the close glyph is not symmetric top to bottom (an \"r\"?)";
}

} // namespace

#include "tests/support/ExpectedScreen.h"

#include <algorithm>

namespace {

// The program loads its pictures as device-dependent bitmaps (LoadBitmap); so does this, so that
// any colour conversion on the way to the screen is the same on both sides.
HBITMAP LoadProgramBitmap(HMODULE module, int bitmapId) {
    return static_cast<HBITMAP>(LoadImageW(module, MAKEINTRESOURCEW(bitmapId), IMAGE_BITMAP, 0, 0, 0));
}

} // namespace

ExpectedScreen::ExpectedScreen(const std::wstring& exe, int bitmapId) {
    m_module =
        LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!m_module)
        return;
    m_dc = CreateCompatibleDC(nullptr);
    if (!m_dc)
        return;
    void* bits = nullptr;
    m_bitmap = CreateTopDownDib(m_dc, kSize, kSize, &bits);
    if (!m_bitmap || !bits)
        return;
    m_previous = SelectObject(m_dc, m_bitmap);
    if (DrawBitmap(bitmapId, 0, 0))
        m_bits = static_cast<const std::uint32_t*>(bits);
}

ExpectedScreen::~ExpectedScreen() {
    if (m_previous)
        SelectObject(m_dc, m_previous);
    if (m_bitmap)
        DeleteObject(m_bitmap);
    if (m_dc)
        DeleteDC(m_dc);
    if (m_module)
        FreeLibrary(m_module);
}

bool ExpectedScreen::DrawBitmap(int bitmapId, int x, int y, int width, int height) {
    HBITMAP picture = LoadProgramBitmap(m_module, bitmapId);
    if (!picture)
        return false;
    BITMAP size = {};
    GetObjectW(picture, sizeof size, &size);
    width = width < 0 ? size.bmWidth : width;
    height = height < 0 ? size.bmHeight : height;
    HDC source = CreateCompatibleDC(m_dc);
    HGDIOBJ old = SelectObject(source, picture);
    const int copyWidth = std::min<int>(width, size.bmWidth),
              copyHeight = std::min<int>(height, size.bmHeight);
    const BOOL copied = BitBlt(m_dc, x, y, copyWidth, copyHeight, source, 0, 0, SRCCOPY);
    // A skin area larger than its picture shows the picture's bottom-right colour beyond it.
    HBRUSH edge = CreateSolidBrush(GetPixel(source, size.bmWidth - 1, size.bmHeight - 1));
    const RECT right{x + copyWidth, y, x + width, y + height},
        below{x, y + copyHeight, x + copyWidth, y + height};
    FillRect(m_dc, &right, edge);
    FillRect(m_dc, &below, edge);
    DeleteObject(edge);
    SelectObject(source, old);
    DeleteDC(source);
    DeleteObject(picture);
    GdiFlush();
    return copied != FALSE;
}

void ExpectedScreen::DrawText(int x, int y, std::wstring_view text) {
    TextOutW(m_dc, x, y, text.data(), static_cast<int>(text.size()));
    GdiFlush();
}

COLORREF ExpectedScreen::At(int x, int y) const {
    const std::uint32_t p = m_bits[static_cast<std::size_t>(y) * kSize + x];
    return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
}

int ExpectedScreen::Differences(const ClientPixels& actual, const RECT& area, const std::vector<RECT>& except,
                                RECT* bounds) const {
    const auto excepted = [&](int x, int y) {
        const POINT point{x, y};
        return std::any_of(except.begin(), except.end(), [&](const RECT& r) { return PtInRect(&r, point); });
    };
    int n = 0;
    RECT found{kSize, kSize, 0, 0};
    const int bottom = std::min<int>({area.bottom, kSize, actual.Height()});
    const int right = std::min<int>({area.right, kSize, actual.Width()});
    for (int y = std::max<LONG>(area.top, 0); y < bottom; ++y)
        for (int x = std::max<LONG>(area.left, 0); x < right; ++x)
            if (At(x, y) != actual.At(x, y) && !excepted(x, y)) {
                ++n;
                found = RECT{std::min<LONG>(found.left, x), std::min<LONG>(found.top, y),
                             std::max<LONG>(found.right, x + 1), std::max<LONG>(found.bottom, y + 1)};
            }
    if (bounds)
        *bounds = found;
    return n;
}

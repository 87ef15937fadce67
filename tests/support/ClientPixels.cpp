#include "tests/support/ClientPixels.h"

#include <algorithm>
#include <cstdint>
#include <memory>

namespace {

// Owners of the GDI objects of one capture, released in reverse order of creation.
struct WindowDc {
    HWND window;
    HDC dc;
    ~WindowDc() {
        if (dc)
            ReleaseDC(window, dc);
    }
};

struct MemoryDc {
    HDC dc;
    ~MemoryDc() {
        if (dc)
            DeleteDC(dc);
    }
};

struct Bitmap {
    HBITMAP bitmap;
    ~Bitmap() {
        if (bitmap)
            DeleteObject(bitmap);
    }
};

struct Selection {
    HDC dc;
    HGDIOBJ previous;
    ~Selection() {
        if (previous)
            SelectObject(dc, previous);
    }
};

} // namespace

std::optional<ClientPixels> ClientPixels::Capture(HWND window) {
    RECT client = {};
    if (!GetClientRect(window, &client))
        return std::nullopt;
    const int width = client.right - client.left;
    const int height = client.bottom - client.top;
    if (width <= 0 || height <= 0)
        return std::nullopt;

    WindowDc source{window, GetDC(window)};
    if (!source.dc)
        return std::nullopt;
    MemoryDc memory{CreateCompatibleDC(source.dc)};
    if (!memory.dc)
        return std::nullopt;

    void* bits = nullptr;
    Bitmap bitmap{CreateTopDownDib(memory.dc, width, height, &bits)};
    if (!bitmap.bitmap || !bits)
        return std::nullopt;
    {
        Selection selection{memory.dc, SelectObject(memory.dc, bitmap.bitmap)};
        if (!BitBlt(memory.dc, 0, 0, width, height, source.dc, 0, 0, SRCCOPY))
            return std::nullopt;
        GdiFlush();
    }

    std::vector<COLORREF> pixels(static_cast<std::size_t>(width) * height);
    const auto* bgra = static_cast<const std::uint32_t*>(bits);
    std::transform(bgra, bgra + pixels.size(), pixels.begin(),
                   [](std::uint32_t p) { return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF); });
    return ClientPixels(width, height, std::move(pixels));
}

int ClientPixels::Count(const RECT& area, COLORREF colour) const {
    int n = 0;
    for (int y = std::max<LONG>(area.top, 0); y < std::min<LONG>(area.bottom, m_height); ++y)
        for (int x = std::max<LONG>(area.left, 0); x < std::min<LONG>(area.right, m_width); ++x)
            n += At(x, y) == colour;
    return n;
}

HBITMAP CreateTopDownDib(HDC dc, int width, int height, void** bits) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height; // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return CreateDIBSection(dc, &info, DIB_RGB_COLORS, bits, nullptr, 0);
}

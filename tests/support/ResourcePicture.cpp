#include "tests/support/ResourcePicture.h"

#include <algorithm>
#include <cstdint>

namespace {

struct Module {
    HMODULE handle;
    ~Module() {
        if (handle)
            FreeLibrary(handle);
    }
};

struct Bitmap {
    HBITMAP handle;
    ~Bitmap() {
        if (handle)
            DeleteObject(handle);
    }
};

struct ScreenDc {
    HDC dc;
    ~ScreenDc() {
        if (dc)
            ReleaseDC(nullptr, dc);
    }
};

} // namespace

std::optional<ResourcePicture> ResourcePicture::Load(const std::wstring& exe, int id) {
    Module module{
        LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE)};
    if (!module.handle)
        return std::nullopt;
    Bitmap bitmap{static_cast<HBITMAP>(
        LoadImageW(module.handle, MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION))};
    if (!bitmap.handle)
        return std::nullopt;
    BITMAP shape = {};
    if (!GetObjectW(bitmap.handle, sizeof shape, &shape) || shape.bmWidth <= 0 || shape.bmHeight <= 0)
        return std::nullopt;

    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = shape.bmWidth;
    info.bmiHeader.biHeight = -shape.bmHeight; // top-down rows, as ClientPixels keeps them
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    std::vector<std::uint32_t> bgra(static_cast<std::size_t>(shape.bmWidth) * shape.bmHeight);
    ScreenDc screen{GetDC(nullptr)};
    if (!screen.dc || GetDIBits(screen.dc, bitmap.handle, 0, shape.bmHeight, bgra.data(), &info,
                                DIB_RGB_COLORS) != shape.bmHeight)
        return std::nullopt;

    std::vector<COLORREF> pixels(bgra.size());
    std::transform(bgra.begin(), bgra.end(), pixels.begin(),
                   [](std::uint32_t p) { return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF); });
    return ResourcePicture(shape.bmWidth, shape.bmHeight, std::move(pixels));
}

double ResourcePicture::Agreement(const ClientPixels& shot, const RECT& area) const {
    const int left = std::max<int>(area.left, 0);
    const int top = std::max<int>(area.top, 0);
    const int right = std::min({static_cast<int>(area.right), m_width, shot.Width()});
    const int bottom = std::min({static_cast<int>(area.bottom), m_height, shot.Height()});
    if (right <= left || bottom <= top)
        return 0.0;
    long long same = 0;
    for (int y = top; y < bottom; ++y)
        for (int x = left; x < right; ++x)
            same += shot.At(x, y) == At(x, y);
    return static_cast<double>(same) / (static_cast<double>(right - left) * (bottom - top));
}

double ResourcePicture::Agreement(const ClientPixels& shot) const {
    return Agreement(shot, RECT{0, 0, m_width, m_height});
}

#include "skin/Skin.h"

#include <algorithm>

void DrawSkin(CDC& dc, const CBitmap& bitmap, int x, int y, int width, int height) {
    if (!bitmap.GetSafeHandle())
        return;
    CDC memory;
    if (!memory.CreateCompatibleDC(&dc))
        return;
    CSelection selection(memory, bitmap.GetSafeHandle());
    const SIZE size = bitmap.GetSize();
    const int copyWidth = std::min<int>(width, size.cx);
    const int copyHeight = std::min<int>(height, size.cy);
    dc.BitBlt(x, y, copyWidth, copyHeight, &memory, 0, 0, SRCCOPY);
    if (copyWidth < width || copyHeight < height) {
        const COLORREF edge = memory.GetPixel(size.cx - 1, size.cy - 1);
        if (copyWidth < width)
            dc.FillSolidRect(x + copyWidth, y, width - copyWidth, height, edge);
        if (copyHeight < height)
            dc.FillSolidRect(x, y + copyHeight, copyWidth, height - copyHeight, edge);
    }
}

void ApplySizingRule(CWnd& dialog) {
    CRect window;
    CRect client;
    dialog.GetWindowRect(&window);
    dialog.GetClientRect(&client);
    const int width = window.Width() - client.Width() + kSkinClientSize;
    const int height = window.Height() - client.Height() + kSkinClientSize;
    dialog.MoveWindow(0, 0, width, height, TRUE);
    dialog.CenterWindow(::GetDesktopWindow());
}

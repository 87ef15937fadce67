#include "framework/Gdi.h"

#include "framework/App.h"
#include "framework/Wnd.h"

BOOL CBitmap::LoadBitmap(UINT resourceId) {
    const auto* name = MAKEINTRESOURCEW(resourceId);
    return Attach(::LoadBitmapW(AfxFindResourceHandle(name, RT_BITMAP), name));
}

BOOL CBitmap::Attach(HBITMAP bitmap) {
    DeleteObject();
    m_hBitmap = bitmap;
    return bitmap != nullptr;
}

BOOL CBitmap::DeleteObject() {
    if (!m_hBitmap)
        return FALSE;
    ::DeleteObject(m_hBitmap);
    m_hBitmap = nullptr;
    return TRUE;
}

SIZE CBitmap::GetSize() const {
    BITMAP info{};
    if (!m_hBitmap || !::GetObjectW(m_hBitmap, sizeof info, &info))
        return SIZE{0, 0};
    return SIZE{info.bmWidth, info.bmHeight};
}

CDC::~CDC() {
    if (m_owned && m_hDC)
        ::DeleteDC(m_hDC);
}

BOOL CDC::CreateCompatibleDC(const CDC* dc) {
    m_hDC = ::CreateCompatibleDC(dc ? dc->m_hDC : nullptr);
    m_owned = m_hDC != nullptr;
    return m_owned;
}

BOOL CDC::BitBlt(int x, int y, int width, int height, const CDC* source, int sourceX, int sourceY, DWORD rop) {
    return ::BitBlt(m_hDC, x, y, width, height, source ? source->m_hDC : nullptr, sourceX, sourceY, rop);
}

BOOL CDC::TextOut(int x, int y, const wchar_t* text, int length) { return ::TextOutW(m_hDC, x, y, text, length); }

void CDC::FillSolidRect(int x, int y, int width, int height, COLORREF colour) {
    HBRUSH brush = ::CreateSolidBrush(colour);
    RECT rect{x, y, x + width, y + height};
    ::FillRect(m_hDC, &rect, brush);
    ::DeleteObject(brush);
}

CPaintDC::CPaintDC(CWnd* wnd) : m_hWnd(wnd->m_hWnd) { m_hDC = ::BeginPaint(m_hWnd, &m_ps); }

CPaintDC::~CPaintDC() {
    ::EndPaint(m_hWnd, &m_ps);
    m_hDC = nullptr;
}

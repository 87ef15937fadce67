// Device contexts and bitmaps. Every GDI handle and every selection has an owner: CBitmap deletes
// its bitmap, CDC deletes a DC it created, CPaintDC ends its paint, CSelection restores what was
// selected before.
#pragma once

#include "framework/Types.h"

#include <windows.h>

class CWnd;

class CBitmap {
public:
    CBitmap() = default;
    ~CBitmap() { DeleteObject(); }
    CBitmap(const CBitmap&) = delete;
    CBitmap& operator=(const CBitmap&) = delete;

    // Loads a bitmap resource from the module that holds it; an empty object when it cannot.
    BOOL LoadBitmap(UINT resourceId);
    BOOL Attach(HBITMAP bitmap);
    BOOL DeleteObject();
    HBITMAP GetSafeHandle() const { return m_hBitmap; }
    // Width and height in pixels; 0, 0 for an empty object.
    SIZE GetSize() const;

private:
    HBITMAP m_hBitmap = nullptr;
};

class CDC {
public:
    CDC() = default;
    virtual ~CDC();
    CDC(const CDC&) = delete;
    CDC& operator=(const CDC&) = delete;

    // A memory DC compatible with `dc`, owned (deleted) by this object.
    BOOL CreateCompatibleDC(const CDC* dc);
    HDC GetSafeHdc() const { return m_hDC; }

    BOOL BitBlt(int x, int y, int width, int height, const CDC* source, int sourceX, int sourceY, DWORD rop);
    BOOL TextOut(int x, int y, const wchar_t* text, int length);
    COLORREF SetBkColor(COLORREF colour) { return ::SetBkColor(m_hDC, colour); }
    COLORREF SetTextColor(COLORREF colour) { return ::SetTextColor(m_hDC, colour); }
    void FillSolidRect(int x, int y, int width, int height, COLORREF colour);
    COLORREF GetPixel(int x, int y) const { return ::GetPixel(m_hDC, x, y); }
    BOOL DrawIcon(int x, int y, HICON icon) { return ::DrawIcon(m_hDC, x, y, icon); }

protected:
    HDC m_hDC = nullptr;

private:
    bool m_owned = false;
};

// The paint DC of a WM_PAINT handler: BeginPaint in the constructor, EndPaint in the destructor.
class CPaintDC : public CDC {
public:
    explicit CPaintDC(CWnd* wnd);
    ~CPaintDC() override;
    PAINTSTRUCT m_ps{};

private:
    HWND m_hWnd;
};

// Selects a GDI object into a DC for the lifetime of this object.
class CSelection {
public:
    CSelection(CDC& dc, HGDIOBJ object) : m_hDC(dc.GetSafeHdc()), m_previous(::SelectObject(m_hDC, object)) {}
    ~CSelection() {
        if (m_previous && m_previous != HGDI_ERROR)
            ::SelectObject(m_hDC, m_previous);
    }
    CSelection(const CSelection&) = delete;
    CSelection& operator=(const CSelection&) = delete;

private:
    HDC m_hDC;
    HGDIOBJ m_previous;
};

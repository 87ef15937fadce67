// Windows and message maps. A class lists the messages it handles in a table (BEGIN_MESSAGE_MAP
// ... END_MESSAGE_MAP); dispatch searches the class's table, then its base classes'. A handler
// that calls Default() asks for the window's default processing of the message it is handling,
// which runs once the handler has returned.
#pragma once

#include "framework/Types.h"

#include <windows.h>

class CCmdTarget;

struct AFX_MSGMAP_ENTRY {
    UINT message;    // WM_xxx; 0 ends the table
    UINT code;       // WM_COMMAND: the notification code (BN_CLICKED, or 0 for menus and keys)
    UINT id;         // WM_COMMAND: the control or command id
    LRESULT (*handler)(CCmdTarget* target, WPARAM wParam, LPARAM lParam);
};

struct AFX_MSGMAP {
    const AFX_MSGMAP* (*pfnGetBaseMap)();
    const AFX_MSGMAP_ENTRY* lpEntries;
};

#define DECLARE_MESSAGE_MAP()                                                                                      \
public:                                                                                                            \
    static const AFX_MSGMAP* GetThisMessageMap();                                                                  \
    const AFX_MSGMAP* GetMessageMap() const override;                                                              \
                                                                                                                   \
private:

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                                                     \
    const AFX_MSGMAP* theClass::GetMessageMap() const { return GetThisMessageMap(); }                              \
    const AFX_MSGMAP* theClass::GetThisMessageMap() {                                                              \
        using ThisClass = theClass;                                                                                \
        using TheBaseClass = baseClass;                                                                            \
        static const AFX_MSGMAP_ENTRY entries[] = {

#define END_MESSAGE_MAP()                                                                                          \
    { 0, 0, 0, nullptr }                                                                                           \
    }                                                                                                              \
    ;                                                                                                              \
    static const AFX_MSGMAP map = {&TheBaseClass::GetThisMessageMap, &entries[0]};                                 \
    return &map;                                                                                                   \
    }

#define AFX_HANDLER(body) [](CCmdTarget * target, WPARAM wParam, LPARAM lParam) -> LRESULT {                      \
    (void)wParam;                                                                                                  \
    (void)lParam;                                                                                                  \
    auto* self = static_cast<ThisClass*>(target);                                                                  \
    body;                                                                                                          \
}

#define ON_COMMAND(id, memberFxn) {WM_COMMAND, 0, (id), AFX_HANDLER(self->memberFxn(); return 0)},
#define ON_BN_CLICKED(id, memberFxn) {WM_COMMAND, BN_CLICKED, (id), AFX_HANDLER(self->memberFxn(); return 0)},
#define ON_WM_PAINT() {WM_PAINT, 0, 0, AFX_HANDLER(self->OnPaint(); return 0)},
#define ON_WM_LBUTTONDOWN()                                                                                        \
    {WM_LBUTTONDOWN, 0, 0, AFX_HANDLER(self->OnLButtonDown(static_cast<UINT>(wParam), CPoint(lParam)); return 0)},
#define ON_WM_QUERYDRAGICON()                                                                                      \
    {WM_QUERYDRAGICON, 0, 0, AFX_HANDLER(return reinterpret_cast<LRESULT>(self->OnQueryDragIcon()))},
#define ON_MESSAGE(message, memberFxn) {(message), 0, 0, AFX_HANDLER(return self->memberFxn(wParam, lParam))},

// Anything that has a message map.
class CCmdTarget {
public:
    virtual ~CCmdTarget() = default;
    static const AFX_MSGMAP* GetThisMessageMap();
    virtual const AFX_MSGMAP* GetMessageMap() const;

    // Finds the handler of a message in this class's map and its bases'; nullptr when none.
    const AFX_MSGMAP_ENTRY* FindHandler(UINT message, WPARAM wParam) const;
};

class CDataExchange;

class CWnd : public CCmdTarget {
public:
    CWnd() = default;
    explicit CWnd(HWND hWnd) : m_hWnd(hWnd) {}
    ~CWnd() override = default;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HWND m_hWnd = nullptr;

    // The insert-after handles of SetWindowPos.
    static const CWnd wndTopMost;

    BOOL ShowWindow(int command) { return ::ShowWindow(m_hWnd, command); }
    void MoveWindow(int x, int y, int width, int height, BOOL repaint = TRUE) {
        ::MoveWindow(m_hWnd, x, y, width, height, repaint);
    }
    BOOL SetWindowPos(const CWnd* insertAfter, int x, int y, int cx, int cy, UINT flags) {
        return ::SetWindowPos(m_hWnd, insertAfter ? insertAfter->m_hWnd : nullptr, x, y, cx, cy, flags);
    }
    // Centres on `alternate` when given; otherwise on the owner when it is visible, else on the
    // screen's work area.
    void CenterWindow(HWND alternate = nullptr);
    void GetWindowRect(LPRECT rect) const { ::GetWindowRect(m_hWnd, rect); }
    void GetClientRect(LPRECT rect) const { ::GetClientRect(m_hWnd, rect); }
    void Invalidate(BOOL erase = TRUE) { ::InvalidateRect(m_hWnd, nullptr, erase); }
    BOOL IsIconic() const { return ::IsIconic(m_hWnd); }
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
        return ::SendMessageW(m_hWnd, message, wParam, lParam);
    }
    int GetWindowText(wchar_t* text, int capacity) const { return ::GetWindowTextW(m_hWnd, text, capacity); }
    int GetWindowTextLength() const { return ::GetWindowTextLengthW(m_hWnd); }
    void SetWindowText(const wchar_t* text) { ::SetWindowTextW(m_hWnd, text); }
    HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }

    // Routes a message through the message map. Returns false when no handler took it, or when
    // the handler asked for default processing (Default).
    bool OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);

protected:
    // Asks for the default processing of the message being handled.
    LRESULT Default();
    virtual void DoDataExchange(CDataExchange*) {}

private:
    bool m_defaultRequested = false;

    friend class CDialog;
};

class CEdit : public CWnd {};

// The data exchange of a dialog: only control bindings are used.
class CDataExchange {
public:
    CDataExchange(CWnd* dialog, BOOL saveAndValidate) : m_pDlgWnd(dialog), m_bSaveAndValidate(saveAndValidate) {}
    CWnd* m_pDlgWnd;
    BOOL m_bSaveAndValidate;
};

// Binds `control` to the dialog's control `id` (once; later exchanges leave it bound).
void DDX_Control(CDataExchange* dx, int id, CWnd& control);

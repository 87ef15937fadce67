#include "framework/Wnd.h"

const CWnd CWnd::wndTopMost(HWND_TOPMOST);

const AFX_MSGMAP* CCmdTarget::GetThisMessageMap() {
    static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, 0, nullptr}};
    static const AFX_MSGMAP map = {nullptr, &entries[0]};
    return &map;
}

const AFX_MSGMAP* CCmdTarget::GetMessageMap() const { return GetThisMessageMap(); }

const AFX_MSGMAP_ENTRY* CCmdTarget::FindHandler(UINT message, WPARAM wParam) const {
    for (const AFX_MSGMAP* map = GetMessageMap(); map; map = map->pfnGetBaseMap ? map->pfnGetBaseMap() : nullptr) {
        for (const AFX_MSGMAP_ENTRY* entry = map->lpEntries; entry->message != 0; ++entry) {
            if (entry->message != message)
                continue;
            if (message != WM_COMMAND)
                return entry;
            const UINT id = LOWORD(wParam);
            const UINT code = HIWORD(wParam);
            // A command entry also takes the accelerator form (code 1) of its command.
            if (entry->id == id && (entry->code == code || (entry->code == 0 && code == 1)))
                return entry;
        }
    }
    return nullptr;
}

bool CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    const AFX_MSGMAP_ENTRY* entry = FindHandler(message, wParam);
    if (!entry)
        return false;
    // Handlers can run modal loops that dispatch further messages to this window: each message
    // keeps its own request for default processing.
    const bool outer = m_defaultRequested;
    m_defaultRequested = false;
    *result = entry->handler(this, wParam, lParam);
    const bool wantsDefault = m_defaultRequested;
    m_defaultRequested = outer;
    return !wantsDefault;
}

LRESULT CWnd::Default() {
    m_defaultRequested = true;
    return 0;
}

void CWnd::CenterWindow(HWND alternate) {
    HWND center = alternate ? alternate : ::GetWindow(m_hWnd, GW_OWNER);
    RECT area{};
    if (center && (center == ::GetDesktopWindow() || (::IsWindowVisible(center) && !::IsIconic(center)))) {
        ::GetWindowRect(center, &area);
    } else {
        ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    }
    RECT window{};
    ::GetWindowRect(m_hWnd, &window);
    const int width = window.right - window.left;
    const int height = window.bottom - window.top;
    const int x = area.left + ((area.right - area.left) - width) / 2;
    const int y = area.top + ((area.bottom - area.top) - height) / 2;
    ::SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void DDX_Control(CDataExchange* dx, int id, CWnd& control) {
    if (!control.m_hWnd)
        control.m_hWnd = ::GetDlgItem(dx->m_pDlgWnd->m_hWnd, id);
}

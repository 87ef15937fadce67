#include "tests/support/WindowInput.h"

#include "tests/support/WindowQuery.h"

namespace gui {

void ClickClient(HWND window, int x, int y) {
    const LPARAM point = MAKELPARAM(x, y);
    PostMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, point);
    PostMessageW(window, WM_LBUTTONUP, 0, point);
}

bool SetControlText(HWND control, std::wstring_view text) {
    const std::wstring copy(text);
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(copy.c_str()),
                               SMTO_ABORTIFHUNG, 5000, &result) &&
           result != 0;
}

bool SetDlgItemTextOf(HWND dialog, int id, std::wstring_view text) {
    HWND control = GetDlgItem(dialog, id);
    return control && SetControlText(control, text);
}

std::wstring DlgItemTextOf(HWND dialog, int id) {
    HWND control = GetDlgItem(dialog, id);
    return control ? WindowText(control) : std::wstring();
}

void Command(HWND dialog, int id) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

void CommandOk(HWND dialog) {
    Command(dialog, IDOK);
}
void CommandCancel(HWND dialog) {
    Command(dialog, IDCANCEL);
}

void PressKey(HWND target, UINT virtualKey) {
    const UINT scan = MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC);
    const LPARAM down = 1 | (static_cast<LPARAM>(scan) << 16);
    const LPARAM up = down | (1LL << 30) | (1LL << 31);
    PostMessageW(target, WM_KEYDOWN, virtualKey, down);
    PostMessageW(target, WM_KEYUP, virtualKey, up);
}

} // namespace gui

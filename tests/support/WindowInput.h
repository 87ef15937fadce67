// Input to another process's windows from a GUI test. Clicks, keys and commands are posted, never
// sent, so a handler that opens a modal box does not hold the test up; texts are sent, so they
// are in place when the call returns.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace gui {

// A left click at client point (x, y) of `window`: WM_LBUTTONDOWN then WM_LBUTTONUP.
void ClickClient(HWND window, int x, int y);

// WM_SETTEXT / WM_GETTEXT of a control (or of any window). True when the control took the text.
bool SetControlText(HWND control, std::wstring_view text);
bool SetDlgItemTextOf(HWND dialog, int id, std::wstring_view text);
std::wstring DlgItemTextOf(HWND dialog, int id);

// What the dialog manager sends for Enter and Esc: WM_COMMAND IDOK / IDCANCEL.
void CommandOk(HWND dialog);
void CommandCancel(HWND dialog);
// A command as a click on button `id` sends it.
void Command(HWND dialog, int id);

// A real key: WM_KEYDOWN then WM_KEYUP of `virtualKey` posted to `target` (usually the focused
// control, where the dialog's message loop turns Enter and Esc into IDOK and IDCANCEL).
void PressKey(HWND target, UINT virtualKey);

} // namespace gui

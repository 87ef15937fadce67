// Finding and reading another process's windows from a GUI test: top-level windows by process,
// class and caption, waits with a time-out, message boxes, sizes and style bits. Everything is
// read through the window manager, the way any other program on the desktop would see it.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace gui {

// Every visible top-level window of process `processId` whose class and caption match; an empty
// `className` or `caption` matches any. In the window manager's z-order, topmost first.
std::vector<HWND> TopLevelWindows(DWORD processId, std::wstring_view className = {},
                                  std::wstring_view caption = {});

// Waits up to `timeoutMs` for such a window to be there; nullptr when none came.
HWND WaitForWindow(DWORD processId, std::wstring_view className, std::wstring_view caption, DWORD timeoutMs);

// Asks `condition` again and again until it holds or `timeoutMs` has passed. True when it held.
bool WaitUntil(DWORD timeoutMs, const std::function<bool()>& condition);

// Waits up to `timeoutMs` until `window` is destroyed or hidden. True when it went.
bool WaitForWindowGone(HWND window, DWORD timeoutMs);

// A message box of process `processId`: a visible "#32770" with an owner and a text control
// 0xFFFF. With `owner` set, only one owned by that window. nullptr when none came in time.
HWND WaitForMessageBox(DWORD processId, DWORD timeoutMs, HWND owner = nullptr);
std::wstring MessageBoxText(HWND box);
// Presses the box's OK button as a click would (WM_COMMAND IDOK).
void CloseMessageBox(HWND box);

std::wstring ClassName(HWND window);
std::wstring WindowText(HWND window); // WM_GETTEXT, so it works across processes

SIZE ClientSize(HWND window);
SIZE WindowSize(HWND window);
bool IsTopmost(HWND window);
// IsWindowVisible of control `id` of `dialog` (false when there is no such control).
bool IsControlVisible(HWND dialog, int id);
// The control that has the keyboard focus in the thread that owns `window`, or nullptr.
HWND FocusedWindow(HWND window);

} // namespace gui

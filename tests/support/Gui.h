// Starting a program and driving and reading its windows from another process, the way any other
// program on the desktop would: windows by process, class and caption, waits with a time-out,
// input posted (never sent, so a handler that opens a modal box does not hold the caller up),
// message boxes, and the pixels of a client area as they are on screen.
#pragma once

#include "tests/support/SimClient.h"

#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// A started program. A process still running when its owner goes away is terminated, so no test
// leaves a window behind.
class TestProcess {
public:
    TestProcess() = default;
    ~TestProcess() { Terminate(); }
    TestProcess(const TestProcess&) = delete;
    TestProcess& operator=(const TestProcess&) = delete;

    // In `exe`'s own directory; returns once its first message loop waits for input.
    bool Start(const std::wstring& exe, DWORD idleTimeoutMs = 15000);
    DWORD Id() const { return m_id; }
    HANDLE Handle() const { return m_process; }
    bool Running() const;
    std::optional<DWORD> WaitForExit(DWORD timeoutMs) const;
    void Terminate(); // and lets go of the process

private:
    HANDLE m_process = nullptr;
    DWORD m_id = 0;
};

std::wstring ExecutableDirectory(); // with a trailing backslash

// A 32-bit DIB section with top-down rows, for pixels read as COLORREF-sized cells; the caller
// owns it (DeleteObject). nullptr when it cannot be made.
HBITMAP CreateTopDownDib(HDC dc, int width, int height, void** bits);

// A picture in a DIB section of its own, the way screens are compared pixel by pixel.
class Screen {
public:
    // A screen of the skins' size whose background is bitmap `bitmapId` of `exe` (read from its
    // resources, copied pixel for pixel). Not Valid when the executable or the bitmap cannot be read.
    Screen(const std::wstring& exe, int bitmapId);
    // The client area of `window` as it is on screen: GetDC and BitBlt (PrintWindow on another
    // process's window comes back black under Wine). The window must be visible, uncovered.
    explicit Screen(HWND window);
    ~Screen();
    Screen(Screen&& other) noexcept
        : m_module(std::exchange(other.m_module, nullptr)), m_dc(std::exchange(other.m_dc, nullptr)),
          m_bitmap(std::exchange(other.m_bitmap, nullptr)),
          m_previous(std::exchange(other.m_previous, nullptr)), m_bits(std::exchange(other.m_bits, nullptr)),
          m_width(other.m_width), m_height(other.m_height) {}

    bool Valid() const { return m_bits != nullptr; }
    int Width() const { return m_width; }
    int Height() const { return m_height; }

    // As the program's skins paint a picture over an area (an empty area: the picture's own size).
    bool DrawBitmap(int bitmapId, const RECT& area);
    // As the program draws its coin and result lines: a device context's defaults (system font),
    // black on an opaque white cell.
    void DrawText(int x, int y, std::wstring_view text);

    COLORREF At(int x, int y) const;
    // How many pixels of `area`, outside the rectangles `except`, differ between this screen and
    // `actual`. `bounds`, when given, receives the smallest rectangle that holds them.
    int Differences(const Screen& actual, const RECT& area, const std::vector<RECT>& except = {},
                    RECT* bounds = nullptr) const;

    static constexpr int kSize = 600;

private:
    bool Create(int width, int height);

    HMODULE m_module = nullptr;
    HDC m_dc = nullptr;
    HBITMAP m_bitmap = nullptr;
    HGDIOBJ m_previous = nullptr;
    const std::uint32_t* m_bits = nullptr;
    int m_width = 0, m_height = 0;
};

namespace gui {

// Topmost first, visible or not. It sends no message, so it works while the process's thread is busy.
HWND WaitForTopWindow(DWORD processId, DWORD timeoutMs, const std::function<bool(HWND)>& match);
using ::WaitUntil;
bool WaitForWindowGone(HWND window, DWORD timeoutMs); // destroyed or hidden
// A message box of the process: an owned "#32770" with the text control 0xFFFF and an OK button.
HWND WaitForMessageBox(DWORD processId, DWORD timeoutMs);
std::wstring MessageBoxText(HWND box);

SIZE ClientSize(HWND window);
bool IsControlVisible(HWND dialog, int id);

void ClickClient(HWND window, int x, int y);
// Sent, so the text is in place on return; WM_GETTEXT, so it works across processes.
bool SetDlgItemTextOf(HWND dialog, int id, std::wstring_view text);
std::wstring DlgItemTextOf(HWND dialog, int id);
// What the dialog manager sends for Enter (IDOK) and Esc (IDCANCEL), and a message box's OK.
void Command(HWND dialog, int id);
// A real key posted to `target` (the focused control, usually).
void PressKey(HWND target, UINT virtualKey);

} // namespace gui

#include "tests/support/WindowQuery.h"

#include <vector>

namespace gui {

namespace {

constexpr DWORD kPollMs = 20;
constexpr int kMessageBoxTextId = 0xFFFF;

// Repeats `probe` until it yields a non-null result or `timeoutMs` has passed.
template <typename Probe> auto Poll(DWORD timeoutMs, Probe probe) -> decltype(probe()) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (true) {
        if (auto found = probe())
            return found;
        if (GetTickCount64() >= deadline)
            return {};
        Sleep(kPollMs);
    }
}

struct EnumState {
    DWORD processId;
    std::vector<HWND> windows;
};

BOOL CALLBACK CollectProcessWindows(HWND window, LPARAM lParam) {
    auto* state = reinterpret_cast<EnumState*>(lParam);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == state->processId)
        state->windows.push_back(window);
    return TRUE;
}

} // namespace

std::wstring ClassName(HWND window) {
    wchar_t name[256] = {};
    const int n = GetClassNameW(window, name, ARRAYSIZE(name));
    return std::wstring(name, n > 0 ? n : 0);
}

std::wstring WindowText(HWND window) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length))
        return {};
    std::vector<wchar_t> text(length + 1);
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                             SMTO_ABORTIFHUNG, 5000, &copied))
        return {};
    return std::wstring(text.data(), copied);
}

std::vector<HWND> TopLevelWindows(DWORD processId, std::wstring_view className, std::wstring_view caption) {
    EnumState state{processId, {}};
    EnumWindows(CollectProcessWindows, reinterpret_cast<LPARAM>(&state));
    std::vector<HWND> matches;
    for (HWND window : state.windows) {
        if (!IsWindowVisible(window))
            continue;
        if (!className.empty() && ClassName(window) != className)
            continue;
        if (!caption.empty() && WindowText(window) != caption)
            continue;
        matches.push_back(window);
    }
    return matches;
}

HWND WaitForWindow(DWORD processId, std::wstring_view className, std::wstring_view caption, DWORD timeoutMs) {
    return Poll(timeoutMs, [&]() -> HWND {
        const auto windows = TopLevelWindows(processId, className, caption);
        return windows.empty() ? nullptr : windows.front();
    });
}

bool WaitUntil(DWORD timeoutMs, const std::function<bool()>& condition) {
    return Poll(timeoutMs, condition);
}

bool WaitForWindowGone(HWND window, DWORD timeoutMs) {
    return Poll(timeoutMs, [&] { return !IsWindow(window) || !IsWindowVisible(window); });
}

HWND WaitForMessageBox(DWORD processId, DWORD timeoutMs, HWND owner) {
    return Poll(timeoutMs, [&]() -> HWND {
        for (HWND box : TopLevelWindows(processId, L"#32770")) {
            HWND boxOwner = GetWindow(box, GW_OWNER);
            if (!boxOwner || (owner && boxOwner != owner))
                continue;
            if (GetDlgItem(box, kMessageBoxTextId) && GetDlgItem(box, IDOK))
                return box;
        }
        return nullptr;
    });
}

std::wstring MessageBoxText(HWND box) {
    wchar_t text[1024] = {};
    const UINT n = GetDlgItemTextW(box, kMessageBoxTextId, text, ARRAYSIZE(text));
    return std::wstring(text, n);
}

void CloseMessageBox(HWND box) {
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
}

SIZE ClientSize(HWND window) {
    RECT r = {};
    GetClientRect(window, &r);
    return {r.right - r.left, r.bottom - r.top};
}

SIZE WindowSize(HWND window) {
    RECT r = {};
    GetWindowRect(window, &r);
    return {r.right - r.left, r.bottom - r.top};
}

bool IsTopmost(HWND window) {
    return (GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
}

bool IsControlVisible(HWND dialog, int id) {
    HWND control = GetDlgItem(dialog, id);
    return control && IsWindowVisible(control);
}

HWND FocusedWindow(HWND window) {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    const DWORD thread = GetWindowThreadProcessId(window, nullptr);
    return GetGUIThreadInfo(thread, &info) ? info.hwndFocus : nullptr;
}

} // namespace gui

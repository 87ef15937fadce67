#include "tests/support/Gui.h"

#include <algorithm>
#include <cstdio>

bool TestProcess::Start(const std::wstring& exe, DWORD idleTimeoutMs) {
    Terminate();
    std::wstring commandLine = L"\"" + exe + L"\"";
    const std::wstring directory = exe.substr(0, exe.find_last_of(L"\\/") + 1);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    // One CI run saw Wine refuse a start at once (17 ms, before the program ran any code of its
    // own) that works every other time; that says nothing about the program under test, so a
    // refused start gets two more tries, each logged with its error for whoever reads the run.
    bool started = false;
    for (int attempt = 1; attempt <= 3 && !started; ++attempt) {
        started = CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                 directory.empty() ? nullptr : directory.c_str(), &startup, &info);
        if (!started) {
            std::fprintf(stderr, "CreateProcessW(%ls) failed, error %lu (try %d of 3)\n", exe.c_str(),
                         GetLastError(), attempt);
            Sleep(500);
        }
    }
    if (!started)
        return false;
    CloseHandle(info.hThread);
    m_process = info.hProcess;
    m_id = info.dwProcessId;
    // A program that ends at once, or never reaches a message loop, is for the test to judge.
    WaitForInputIdle(m_process, idleTimeoutMs);
    return true;
}

bool TestProcess::Running() const {
    return m_process && WaitForSingleObject(m_process, 0) == WAIT_TIMEOUT;
}

std::optional<DWORD> TestProcess::WaitForExit(DWORD timeoutMs) const {
    DWORD code = 0;
    if (!m_process || WaitForSingleObject(m_process, timeoutMs) != WAIT_OBJECT_0 ||
        !GetExitCodeProcess(m_process, &code))
        return std::nullopt;
    return code;
}

void TestProcess::Terminate() {
    if (Running()) {
        TerminateProcess(m_process, 255);
        WaitForSingleObject(m_process, 10000);
    }
    if (m_process)
        CloseHandle(m_process);
    m_process = nullptr;
}

std::wstring ExecutableDirectory() {
    wchar_t path[MAX_PATH * 4] = {};
    const std::wstring full(path, GetModuleFileNameW(nullptr, path, ARRAYSIZE(path)));
    return full.substr(0, full.find_last_of(L"\\/") + 1);
}

HBITMAP CreateTopDownDib(HDC dc, int width, int height, void** bits) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height; // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return CreateDIBSection(dc, &info, DIB_RGB_COLORS, bits, nullptr, 0);
}

bool Screen::Create(int width, int height) {
    void* bits = nullptr;
    m_dc = CreateCompatibleDC(nullptr);
    m_bitmap = m_dc ? CreateTopDownDib(m_dc, width, height, &bits) : nullptr;
    if (!m_bitmap || !bits)
        return false;
    m_previous = SelectObject(m_dc, m_bitmap);
    m_bits = static_cast<const std::uint32_t*>(bits);
    m_width = width;
    m_height = height;
    return true;
}

Screen::Screen(const std::wstring& exe, int bitmapId) {
    m_module =
        LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (m_module && Create(kSize, kSize) && !DrawBitmap(bitmapId, {}))
        m_bits = nullptr;
}

Screen::Screen(HWND window) {
    const SIZE size = gui::ClientSize(window);
    if (size.cx <= 0 || size.cy <= 0 || !Create(size.cx, size.cy))
        return;
    HDC source = GetDC(window);
    if (!source || !BitBlt(m_dc, 0, 0, size.cx, size.cy, source, 0, 0, SRCCOPY))
        m_bits = nullptr;
    if (source)
        ReleaseDC(window, source);
    GdiFlush();
}

Screen::~Screen() {
    if (m_previous)
        SelectObject(m_dc, m_previous);
    if (m_bitmap)
        DeleteObject(m_bitmap);
    if (m_dc)
        DeleteDC(m_dc);
    if (m_module)
        FreeLibrary(m_module);
}

bool Screen::DrawBitmap(int bitmapId, const RECT& area) {
    // The program loads its pictures as device-dependent bitmaps (LoadBitmap); so does this, so
    // that any colour conversion on the way to the screen is the same on both sides.
    HBITMAP picture =
        static_cast<HBITMAP>(LoadImageW(m_module, MAKEINTRESOURCEW(bitmapId), IMAGE_BITMAP, 0, 0, 0));
    if (!picture)
        return false;
    BITMAP size = {};
    GetObjectW(picture, sizeof size, &size);
    const bool own = IsRectEmpty(&area);
    const int x = area.left, y = area.top, width = own ? size.bmWidth : area.right - area.left,
              height = own ? size.bmHeight : area.bottom - area.top;
    HDC source = CreateCompatibleDC(m_dc);
    HGDIOBJ old = SelectObject(source, picture);
    const int copyWidth = std::min<int>(width, size.bmWidth),
              copyHeight = std::min<int>(height, size.bmHeight);
    const BOOL copied = BitBlt(m_dc, x, y, copyWidth, copyHeight, source, 0, 0, SRCCOPY);
    // A skin area larger than its picture shows the picture's bottom-right colour beyond it.
    HBRUSH edge = CreateSolidBrush(GetPixel(source, size.bmWidth - 1, size.bmHeight - 1));
    const RECT right{x + copyWidth, y, x + width, y + height},
        below{x, y + copyHeight, x + copyWidth, y + height};
    FillRect(m_dc, &right, edge);
    FillRect(m_dc, &below, edge);
    DeleteObject(edge);
    SelectObject(source, old);
    DeleteDC(source);
    DeleteObject(picture);
    GdiFlush();
    return copied != FALSE;
}

void Screen::DrawText(int x, int y, std::wstring_view text) {
    TextOutW(m_dc, x, y, text.data(), static_cast<int>(text.size()));
    GdiFlush();
}

COLORREF Screen::At(int x, int y) const {
    const std::uint32_t p = m_bits[static_cast<std::size_t>(y) * m_width + x];
    return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
}

int Screen::Differences(const Screen& actual, const RECT& area, const std::vector<RECT>& except,
                        RECT* bounds) const {
    const auto excepted = [&](int x, int y) {
        const POINT point{x, y};
        return std::any_of(except.begin(), except.end(), [&](const RECT& r) { return PtInRect(&r, point); });
    };
    int n = 0;
    RECT found{m_width, m_height, 0, 0};
    const int bottom = std::min<int>({area.bottom, m_height, actual.Height()});
    const int right = std::min<int>({area.right, m_width, actual.Width()});
    for (int y = std::max<LONG>(area.top, 0); y < bottom; ++y)
        for (int x = std::max<LONG>(area.left, 0); x < right; ++x)
            if (At(x, y) != actual.At(x, y) && !excepted(x, y)) {
                ++n;
                found = RECT{std::min<LONG>(found.left, x), std::min<LONG>(found.top, y),
                             std::max<LONG>(found.right, x + 1), std::max<LONG>(found.bottom, y + 1)};
            }
    if (bounds)
        *bounds = found;
    return n;
}

namespace gui {

namespace {

constexpr int kMessageBoxTextId = 0xFFFF;

} // namespace

bool WaitForWindowGone(HWND window, DWORD timeoutMs) {
    return WaitUntil(timeoutMs, [&] { return !IsWindow(window) || !IsWindowVisible(window); });
}

HWND WaitForTopWindow(DWORD processId, DWORD timeoutMs, const std::function<bool(HWND)>& match) {
    HWND found = nullptr;
    WaitUntil(timeoutMs, [&] {
        for (found = GetTopWindow(nullptr); found; found = GetWindow(found, GW_HWNDNEXT)) {
            DWORD owner = 0;
            GetWindowThreadProcessId(found, &owner);
            if (owner == processId && match(found))
                return true;
        }
        return false;
    });
    return found;
}

HWND WaitForMessageBox(DWORD processId, DWORD timeoutMs) {
    return WaitForTopWindow(processId, timeoutMs, [](HWND w) {
        wchar_t name[8] = {}; // room for a longer name than "#32770", so that none is cut to it
        GetClassNameW(w, name, ARRAYSIZE(name));
        return IsWindowVisible(w) && std::wstring_view(name) == L"#32770" && GetWindow(w, GW_OWNER) &&
               GetDlgItem(w, kMessageBoxTextId) && GetDlgItem(w, IDOK);
    });
}

std::wstring MessageBoxText(HWND box) {
    wchar_t text[1024] = {};
    return std::wstring(text, GetDlgItemTextW(box, kMessageBoxTextId, text, ARRAYSIZE(text)));
}

std::wstring DlgItemTextOf(HWND dialog, int id) {
    HWND window = GetDlgItem(dialog, id);
    DWORD_PTR length = 0, copied = 0;
    if (!window || !SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length))
        return {};
    std::vector<wchar_t> text(length + 1);
    if (!SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                             SMTO_ABORTIFHUNG, 5000, &copied))
        return {};
    return std::wstring(text.data(), copied);
}

SIZE ClientSize(HWND window) {
    RECT r = {};
    GetClientRect(window, &r);
    return {r.right - r.left, r.bottom - r.top};
}

bool IsControlVisible(HWND dialog, int id) {
    HWND control = GetDlgItem(dialog, id);
    return control && IsWindowVisible(control);
}

void ClickClient(HWND window, int x, int y) {
    PostMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
    PostMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
}

bool SetDlgItemTextOf(HWND dialog, int id, std::wstring_view text) {
    const std::wstring copy(text);
    DWORD_PTR result = 0;
    HWND control = GetDlgItem(dialog, id);
    return control &&
           SendMessageTimeoutW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(copy.c_str()),
                               SMTO_ABORTIFHUNG, 5000, &result) &&
           result;
}

void Command(HWND dialog, int id) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

void PressKey(HWND target, UINT virtualKey) {
    const LPARAM down = 1 | (static_cast<LPARAM>(MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC)) << 16);
    PostMessageW(target, WM_KEYDOWN, virtualKey, down);
    PostMessageW(target, WM_KEYUP, virtualKey, down | (1LL << 30) | (1LL << 31));
}

} // namespace gui

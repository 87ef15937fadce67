#include "framework/App.h"

#include <winsock2.h>

#include <cstdlib>
#include <cwchar>
#include <iterator>

namespace {

CWinApp* g_app = nullptr;
wchar_t g_appName[MAX_PATH];

} // namespace

CWinApp::CWinApp(const wchar_t* appName) : m_pszAppName(appName) { g_app = this; }

CWinApp::~CWinApp() {
    if (g_app == this)
        g_app = nullptr;
}

CWinApp* AfxGetApp() { return g_app; }

CWnd* AfxGetMainWnd() { return g_app ? g_app->m_pMainWnd : nullptr; }

HWND AfxGetSafeOwner() {
    CWnd* main = AfxGetMainWnd();
    if (!main || !main->m_hWnd)
        return nullptr;
    return ::GetLastActivePopup(main->m_hWnd);
}

HINSTANCE AfxFindResourceHandle(LPCWSTR, LPCWSTR) { return ::GetModuleHandleW(nullptr); }

int AfxMessageBox(const wchar_t* text, UINT type, UINT) {
    const wchar_t* caption = g_app && g_app->m_pszAppName ? g_app->m_pszAppName : L"";
    return ::MessageBoxW(AfxGetSafeOwner(), text, caption, type);
}

int AfxMessageBox(UINT stringId, UINT type, UINT helpId) {
    wchar_t text[512] = {};
    ::LoadStringW(AfxFindResourceHandle(MAKEINTRESOURCEW((stringId >> 4) + 1), RT_STRING), stringId, text,
                  static_cast<int>(std::size(text)));
    return AfxMessageBox(text, type, helpId);
}

BOOL AfxSocketInit(WSADATA* data) {
    WSADATA local{};
    if (::WSAStartup(MAKEWORD(2, 2), data ? data : &local) != 0)
        return FALSE;
    std::atexit([] { ::WSACleanup(); });
    return TRUE;
}

void AfxEnableControlContainer() {
    // No dialog of the program hosts an ActiveX control; there is nothing to enable.
}

int AfxWinMain(HINSTANCE instance, LPWSTR, int) {
    CWinApp* app = AfxGetApp();
    if (!app)
        return -1;
    app->m_hInstance = instance;
    if (!app->m_pszAppName) {
        // The framework's default: the executable's name without its extension.
        ::GetModuleFileNameW(nullptr, g_appName, MAX_PATH);
        wchar_t* name = std::wcsrchr(g_appName, L'\\');
        name = name ? name + 1 : g_appName;
        if (wchar_t* dot = std::wcsrchr(name, L'.'))
            *dot = 0;
        app->m_pszAppName = name;
    }
    // The program runs inside InitInstance's modal loops; there is no message loop of its own.
    app->InitInstance();
    return app->ExitInstance();
}

// The application object and the framework's global helpers. There is one CWinApp per process;
// its InitInstance is the program, run from the framework's entry point (AfxWinMain).
#pragma once

#include "framework/Wnd.h"

#include <winsock2.h>
#include <windows.h>

// The framework's help command.
inline constexpr UINT ID_HELP = 0xE146;

class CWinApp : public CCmdTarget {
public:
    explicit CWinApp(const wchar_t* appName = nullptr);
    ~CWinApp() override;

    virtual BOOL InitInstance() { return TRUE; }
    virtual int ExitInstance() { return 0; }
    void OnHelp() {}

    // Records the key only: the program reads and writes no profile value under it.
    void SetRegistryKey(const wchar_t* key) { m_pszRegistryKey = key; }

    HINSTANCE m_hInstance = nullptr;
    CWnd* m_pMainWnd = nullptr;
    const wchar_t* m_pszAppName = nullptr;
    const wchar_t* m_pszRegistryKey = nullptr;
};

CWinApp* AfxGetApp();
CWnd* AfxGetMainWnd();
// The owner a dialog or message box without an explicit parent gets: the main window's last
// active pop-up, or none before there is a main window.
HWND AfxGetSafeOwner();
HINSTANCE AfxFindResourceHandle(LPCWSTR name, LPCWSTR type);
int AfxMessageBox(const wchar_t* text, UINT type = MB_OK, UINT helpId = 0);
int AfxMessageBox(UINT stringId, UINT type = MB_OK, UINT helpId = static_cast<UINT>(-1));
BOOL AfxSocketInit(WSADATA* data = nullptr);
void AfxEnableControlContainer();
int AfxWinMain(HINSTANCE instance, LPWSTR commandLine, int show);

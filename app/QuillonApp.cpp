#include "app/QuillonApp.h"

#include "app/QuillonDlg.h"
#include "res/resource.h"

#include <commctrl.h>

BEGIN_MESSAGE_MAP(CQuillonApp, CWinApp)
    ON_COMMAND(ID_HELP, OnHelp)
END_MESSAGE_MAP()

CQuillonApp theApp;

BOOL CQuillonApp::InitInstance() {
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_WIN95_CLASSES;
    InitCommonControlsEx(&controls);

    CWinApp::InitInstance();

    if (!AfxSocketInit()) {
        AfxMessageBox(IDS_SOCKETS_INIT_FAILED, MB_OK, static_cast<UINT>(-1));
        return FALSE;
    }
    AfxEnableControlContainer();
    SetRegistryKey(L"로컬 응용 프로그램 마법사에서 생성된 응용 프로그램");

    CQuillonDlg launcher;
    m_pMainWnd = &launcher;
    launcher.DoModal();
    m_pMainWnd = nullptr;
    return FALSE;
}

#include "dialogs/UpGradeDlg.h"

#include "net/Endpoints.h"
#include "res/resource.h"

#include <shellapi.h>

#include <cstdlib>

BEGIN_MESSAGE_MAP(UpGradeDlg, CDialog)
    ON_COMMAND(IDOK, OnUpgrade)
END_MESSAGE_MAP()

UpGradeDlg::UpGradeDlg() : CDialog(IDD_UPGRADE_DIALOG) {}

void UpGradeDlg::DoDataExchange(CDataExchange* dx) {
    CDialog::DoDataExchange(dx);
    DDX_Control(dx, IDC_UPGRADE_MESSAGE_EDIT, m_messageEdit);
}

BOOL UpGradeDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    m_messageEdit.SetWindowText(L"별바다 포스가 업그레이드 되었습니다. 업그레이드 하시겠습니까?");
    return TRUE;
}

void UpGradeDlg::OnUpgrade() {
    // Always the built-in site, never the host the login named.
    ::ShellExecuteW(m_hWnd, L"open", AsWide(kDefaultSiteUrl), nullptr, nullptr, SW_SHOWNORMAL);
    std::exit(1);
}

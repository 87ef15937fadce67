#include "dialogs/UpGradeDlg.h"

#include "dialogs/Messages.h"
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
    m_messageEdit.SetWindowText(kUpgradeNotice);
    return TRUE;
}

void UpGradeDlg::OnUpgrade() {
    // Always the built-in site, never the host the login named.
    ::ShellExecuteW(m_hWnd, L"open", AsWide(kDefaultSiteUrl), nullptr, nullptr, SW_SHOWNORMAL);
    std::exit(1);
}

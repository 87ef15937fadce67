#include "app/QuillonDlg.h"

#include "dialogs/Layout.h"
#include "dialogs/LoginDlg.h"
#include "dialogs/Messages.h"
#include "dialogs/PosDlg.h"
#include "res/resource.h"
#include "skin/Skin.h"

BEGIN_MESSAGE_MAP(CQuillonDlg, CDialog)
    ON_WM_PAINT()
    ON_WM_QUERYDRAGICON()
    ON_BN_CLICKED(IDC_LAUNCH_BUTTON, OnLaunchButton)
    ON_WM_LBUTTONDOWN()
END_MESSAGE_MAP()

CQuillonDlg::CQuillonDlg() : CDialog(IDD_QUILLON_DIALOG) {
    const auto* icon = MAKEINTRESOURCEW(IDI_QUILLON);
    m_hIcon = ::LoadIconW(AfxFindResourceHandle(icon, RT_GROUP_ICON), icon);
}

BOOL CQuillonDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));

    CLoginDlg login;
    if (login.DoModal() == IDOK) {
        ::ShowWindow(GetDlgItem(IDC_LAUNCH_BUTTON), SW_HIDE);
        m_bmpLauncher.LoadBitmap(IDB_LAUNCHER);
        SetWindowPos(&wndTopMost, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE);
        return TRUE;
    }
    // A rejected login (a failed request included) ends the program from here.
    EndDialog(IDOK);
    AfxMessageBox(kLoginRejected, MB_OK, 0);
    return FALSE;
}

void CQuillonDlg::OnPaint() {
    CPaintDC dc(this);
    if (IsIconic()) {
        SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()), 0);
        const int iconWidth = ::GetSystemMetrics(SM_CXICON);
        const int iconHeight = ::GetSystemMetrics(SM_CYICON);
        CRect client;
        GetClientRect(&client);
        const int x = (client.Width() - iconWidth + 1) / 2;
        const int y = (client.Height() - iconHeight + 1) / 2;
        dc.DrawIcon(x, y, m_hIcon);
        return;
    }
    DrawSkin(dc, m_bmpLauncher, 0, 0, kBannerCopyWidth, kBannerCopyHeight);
}

HCURSOR CQuillonDlg::OnQueryDragIcon() { return static_cast<HCURSOR>(m_hIcon); }

void CQuillonDlg::OnLaunchButton() {
    CPosDlg amountEntry;
    amountEntry.DoModal();
}

void CQuillonDlg::OnLButtonDown(UINT, CPoint) {
    CPosDlg amountEntry;
    amountEntry.DoModal();
    Default();
}

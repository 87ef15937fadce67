#include "dialogs/LoginDlg.h"

#include "dialogs/Layout.h"
#include "dialogs/LoginRequest.h"
#include "dialogs/Messages.h"
#include "dialogs/UpGradeDlg.h"
#include "res/resource.h"
#include "skin/Skin.h"

#include <cstdlib>

namespace {

constexpr int kTypedTextCapacity = 80; // at most 79 characters of each edit are taken
constexpr int kLoginButtonCopyWidth = 288;
constexpr int kLoginButtonCopyHeight = 42;

} // namespace

BEGIN_MESSAGE_MAP(CLoginDlg, CDialog)
    ON_COMMAND(IDOK, OnLogin)
    ON_WM_PAINT()
    ON_COMMAND(IDCANCEL, OnQuit)
    ON_WM_LBUTTONDOWN()
END_MESSAGE_MAP()

CLoginDlg::CLoginDlg() : CDialog(IDD_LOGIN_DIALOG) {}

void CLoginDlg::DoDataExchange(CDataExchange* dx) {
    CDialog::DoDataExchange(dx);
    DDX_Control(dx, IDC_ID_EDIT, m_idEdit);
    DDX_Control(dx, IDC_PASSWORD_EDIT, m_passwordEdit);
}

BOOL CLoginDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    m_bmpBackground.LoadBitmap(IDB_LOGIN_BACKGROUND);
    m_bmpLoginButton.LoadBitmap(IDB_LOGIN_BUTTON);
    // No caption and no frame: a 600 x 600 window is a 600 x 600 client area.
    MoveWindow(0, 0, kSkinClientSize, kSkinClientSize, TRUE);
    CenterWindow();
    ::ShowWindow(GetDlgItem(IDOK), SW_HIDE);
    ::ShowWindow(GetDlgItem(IDCANCEL), SW_HIDE);
    m_loginRect = kLoginButtonRect.ToCRect();
    return TRUE;
}

void CLoginDlg::OnPaint() {
    CPaintDC dc(this);
    CRect client;
    GetClientRect(&client);
    DrawSkin(dc, m_bmpBackground, client.left, client.top, client.right, client.bottom);
    DrawSkin(dc, m_bmpLoginButton, m_loginRect.left, m_loginRect.top, kLoginButtonCopyWidth, kLoginButtonCopyHeight);
}

void CLoginDlg::OnLogin() {
    wchar_t id[kTypedTextCapacity] = {};
    wchar_t password[kTypedTextCapacity] = {};
    m_idEdit.GetWindowText(id, kTypedTextCapacity);
    m_passwordEdit.GetWindowText(password, kTypedTextCapacity);

    switch (SendLogin(AsU16(id), AsU16(password))) {
    case LoginResult::TooLong:
        // Nothing is sent; the cashier corrects the input in the dialog that stays open.
        AfxMessageBox(kLoginTooLong, MB_OK);
        return;
    case LoginResult::Rejected:
        EndDialog(IDCANCEL);
        return;
    case LoginResult::UpgradeOffered: {
        UpGradeDlg upgrade;
        upgrade.DoModal(); // accepting ends the process inside the notice
        break;
    }
    case LoginResult::Accepted:
        break;
    }
    EndDialog(IDOK);
}

void CLoginDlg::OnQuit() { std::exit(1); }

void CLoginDlg::OnLButtonDown(UINT, CPoint point) {
    if (HitImageButton(m_loginRect, point))
        OnLogin();
    Default();
}

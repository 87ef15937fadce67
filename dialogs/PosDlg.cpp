#include "dialogs/PosDlg.h"

#include "dialogs/Layout.h"
#include "dialogs/Messages.h"
#include "dialogs/ProcessDlg.h"
#include "dialogs/TransactionRules.h"
#include "net/Endpoints.h"
#include "net/SharedState.h"
#include "net/Text.h"
#include "res/resource.h"
#include "skin/Skin.h"

namespace {

constexpr int kTypedTextCapacity = 80; // at most 79 characters of each edit are taken

} // namespace

BEGIN_MESSAGE_MAP(CPosDlg, CDialog)
    ON_COMMAND(IDOK, OnOK)
    ON_COMMAND(IDCANCEL, OnCancel)
    ON_COMMAND(IDC_GIVE_BUTTON, OnGiveMileage)
    ON_COMMAND(IDC_PAY_BUTTON, OnPayMileage)
    ON_COMMAND(IDC_CANCEL_MILEAGE_BUTTON, OnCancelMileage)
    ON_WM_PAINT()
    ON_WM_LBUTTONDOWN()
END_MESSAGE_MAP()

CPosDlg::CPosDlg() : CDialog(IDD_POS_DIALOG) {}

void CPosDlg::DoDataExchange(CDataExchange* dx) {
    CDialog::DoDataExchange(dx);
    DDX_Control(dx, IDC_AMOUNT_EDIT, m_amountEdit);
    DDX_Control(dx, IDC_RATE_EDIT, m_rateEdit);
}

BOOL CPosDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    // The rate the cashier last confirmed (the login's until then), never whatever a later reply
    // left in the field table, where a result line could otherwise become the next rate.
    quillon::CopyText(AsU16(m_rateText), kTypedTextCapacity, quillon::View(g_mileageRate));
    m_rateEdit.SetWindowText(m_rateText);

    m_bmpGive.LoadBitmap(IDB_GIVE_BUTTON);
    m_bmpPay.LoadBitmap(IDB_PAY_BUTTON);
    m_bmpCancel.LoadBitmap(IDB_CANCEL_BUTTON);
    m_bmpBackground.LoadBitmap(IDB_POS_BACKGROUND);

    for (int id : {IDC_GIVE_BUTTON, IDC_PAY_BUTTON, IDC_CANCEL_MILEAGE_BUTTON, IDC_EXIT_BUTTON})
        ::ShowWindow(GetDlgItem(id), SW_HIDE);

    m_giveRect = kGiveButtonRect.ToCRect();
    m_payRect = kPayButtonRect.ToCRect();
    m_cancelRect = kCancelButtonRect.ToCRect();

    ApplySizingRule(*this);
    return TRUE;
}

void CPosDlg::OnPaint() {
    CPaintDC dc(this);
    DrawSkin(dc, m_bmpBackground, 0, 0, kSkinClientSize, kSkinClientSize);
    DrawSkin(dc, m_bmpGive, m_giveRect.left, m_giveRect.top, m_giveRect.Width(), m_giveRect.Height());
    DrawSkin(dc, m_bmpPay, m_payRect.left, m_payRect.top, m_payRect.Width(), m_payRect.Height());
    DrawSkin(dc, m_bmpCancel, m_cancelRect.left, m_cancelRect.top, m_cancelRect.Width(), m_cancelRect.Height());
}

void CPosDlg::OnLButtonDown(UINT, CPoint point) {
    if (HitImageButton(m_giveRect, point))
        OnGiveMileage();
    else if (HitImageButton(m_payRect, point))
        OnPayMileage();
    else if (HitImageButton(m_cancelRect, point))
        OnCancelMileage();
    Default();
}

void CPosDlg::OnGiveMileage() { RunOperation(Give); }
void CPosDlg::OnPayMileage() { RunOperation(Pay); }
void CPosDlg::OnCancelMileage() { RunOperation(Cancel); }

void CPosDlg::RunOperation(std::int32_t operation) {
    CProcessDlg transaction;
    wchar_t amount[kTypedTextCapacity] = {};
    wchar_t rate[kTypedTextCapacity] = {};
    m_amountEdit.GetWindowText(amount, kTypedTextCapacity);
    m_rateEdit.GetWindowText(rate, kTypedTextCapacity);

    if (ReadAmount(AsU16(amount)) == 0.0f) {
        AfxMessageBox(kNoAmount, MB_OK);
        return;
    }
    g_operation = operation;
    SetSaleInputs(AsU16(amount), AsU16(rate));
    transaction.DoModal();
}

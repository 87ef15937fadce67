#include "dialogs/ProcessDlg.h"

#include "dialogs/Layout.h"
#include "dialogs/Messages.h"
#include "dialogs/OperationRequest.h"
#include "dialogs/PollThread.h"
#include "dialogs/TextMessage.h"
#include "dialogs/TransactionRules.h"
#include "net/Endpoints.h"
#include "net/Request.h"
#include "net/SharedState.h"
#include "net/Text.h"
#include "res/resource.h"
#include "skin/Skin.h"

#include <ctime>
#include <cwchar>
#include <iterator>
#include <vector>

BEGIN_MESSAGE_MAP(CProcessDlg, CDialog)
    ON_WM_PAINT()
    ON_COMMAND(IDOK, OnOkCommand)
    ON_COMMAND(IDCANCEL, OnCancelCommand)
    ON_WM_LBUTTONDOWN()
    ON_MESSAGE(WM_POLL_DONE, OnPollDone)
END_MESSAGE_MAP()

CProcessDlg::CProcessDlg() : CDialog(IDD_PROCESS_DIALOG) {}

CProcessDlg::~CProcessDlg() {
    // The close handlers normally ended the transaction; this covers every other way out.
    CloseTransaction();
}

void CProcessDlg::DoDataExchange(CDataExchange* dx) {
    CDialog::DoDataExchange(dx);
    DDX_Control(dx, IDC_PHONE_EDIT, m_phoneEdit);
}

BOOL CProcessDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    ::ShowWindow(GetDlgItem(IDOK), SW_HIDE);
    ApplySizingRule(*this);
    m_sendRect = kSendButtonRect.ToCRect();

    m_bmpWaiting.LoadBitmap(IDB_WAITING);
    m_bmpSendButton.LoadBitmap(IDB_SEND_BUTTON);
    m_bmpGiveDone.LoadBitmap(IDB_GIVE_DONE);
    m_bmpPayDone.LoadBitmap(IDB_PAY_DONE);
    m_bmpCancelDone.LoadBitmap(IDB_CANCEL_DONE);
    m_transaction = BeginTransaction();

    switch (g_operation) {
    case Give:
        StartGive();
        break;
    case Pay:
        StartPay();
        break;
    case Cancel:
        StartCancel();
        break;
    default:
        break;
    }
    return TRUE;
}

bool CProcessDlg::RequestOperation(std::int32_t operation) {
    switch (SendOperation(operation)) {
    case OperationResult::Accepted:
        return true;
    case OperationResult::TooLong:
        AfxMessageBox(kInputTooLong, MB_OK);
        return false;
    case OperationResult::Failed:
        break;
    }
    AfxMessageBox(kNetworkFailed, MB_OK);
    return false;
}

int CProcessDlg::StartGive() {
    if (!RequestOperation(Give))
        return 0;
    Invalidate(TRUE);
    StartPoller();
    return 1;
}

int CProcessDlg::StartPay() { return StartPayOrCancel(Pay); }

int CProcessDlg::StartCancel() { return StartPayOrCancel(Cancel); }

int CProcessDlg::StartPayOrCancel(std::int32_t operation) {
    m_phoneEdit.ShowWindow(SW_HIDE); // no text message outside a give
    if (!RequestOperation(operation))
        return 0;
    StartPoller();
    return 0;
}

void CProcessDlg::StartPoller() {
    if (StartPollThread(m_hWnd, m_transaction))
        return;
    // Without a poller the result would never show: say so and end, rather than wait forever.
    AfxMessageBox(kNetworkFailed, MB_OK);
    OnCancelCommand();
}

LRESULT CProcessDlg::OnPollDone(WPARAM transaction, LPARAM) {
    // Only this dialog's own, still running transaction: a close may have come first (it cleared
    // g_txDone), or the message is a late one of an earlier dialog that had this window handle.
    if (static_cast<std::uint32_t>(transaction) == m_transaction && g_transaction == m_transaction &&
        g_txDone != 0) {
        Invalidate(TRUE);
        m_phoneEdit.ShowWindow(SW_HIDE);
    }
    return 0;
}

void CProcessDlg::OnPaint() {
    CPaintDC dc(this);
    // When BeginPaint erased (every Invalidate(TRUE)), the dialog's default WM_CTLCOLORDLG answer
    // left the face colour as this DC's text background. The coin and result lines are black on
    // an opaque white cell, as on the skins, whichever way the paint came.
    dc.SetBkColor(RGB(255, 255, 255));
    dc.SetTextColor(RGB(0, 0, 0));
    switch (g_txDone.load()) {
    case 0:
        DrawWaitingScreen(dc);
        break;
    case TxGiveSent:
        DrawGiveResult(dc);
        break;
    case TxPaySent:
        DrawPayResult(dc);
        break;
    case TxCancelSent:
        DrawCancelResult(dc);
        break;
    default:
        break;
    }
}

void CProcessDlg::DrawWaitingScreen(CDC& dc) {
    DrawSkin(dc, m_bmpWaiting, 0, 0, kSkinClientSize, kSkinClientSize);
    DrawSkin(dc, m_bmpSendButton, m_sendRect.left, m_sendRect.top, m_sendRect.Width(), m_sendRect.Height());
    if (g_operation == Give) {
        wchar_t line[64] = {};
        const int length = std::swprintf(line, std::size(line), kCoinLineFormat, g_coinPoints.load());
        if (length > 0)
            dc.TextOut(kCoinLineX, kCoinLineY, line, length);
    }
}

void CProcessDlg::DrawGiveResult(CDC& dc) { DrawResult(dc, m_bmpGiveDone, kGiveLastField); }
void CProcessDlg::DrawPayResult(CDC& dc) { DrawResult(dc, m_bmpPayDone, kPayCancelLastField); }
void CProcessDlg::DrawCancelResult(CDC& dc) { DrawResult(dc, m_bmpCancelDone, kPayCancelLastField); }

void CProcessDlg::DrawResult(CDC& dc, const CBitmap& picture, int lastField) {
    DrawSkin(dc, picture, 0, 0, kSkinClientSize, kSkinClientSize);
    auto exchange = LockExchange();
    // A give stopped by a sent text message has no result of the server's to show: its screen
    // says the give went out, without lines.
    if (!g_txConfirmed)
        return;
    int y = kResultFirstY;
    for (int field = 2; field <= lastField; ++field, y += kResultLineStep) {
        const int length = static_cast<int>(quillon::BoundedLength(g_fields[field], kFieldCapacity));
        dc.TextOut(kResultX, y, AsWide(g_fields[field]), length);
    }
}

void CProcessDlg::OnLButtonDown(UINT, CPoint point) {
    // The send image acts only where it is drawn: on a give's waiting screen.
    if (!HitImageButton(m_sendRect, point) || g_operation != Give || g_txDone != 0) {
        Default();
        return;
    }
    if (g_coinPoints <= 0) {
        AfxMessageBox(kNoCoins, MB_OK);
        return;
    }
    const std::int32_t markTag = MarkTagFromTime(static_cast<std::int64_t>(std::time(nullptr)));
    std::vector<wchar_t> phone(static_cast<std::size_t>(m_phoneEdit.GetWindowTextLength()) + 1, L'\0');
    m_phoneEdit.GetWindowText(phone.data(), static_cast<int>(phone.size()));
    if (phone[0] == L'\0') {
        AfxMessageBox(kNoPhone, MB_OK);
        return;
    }

    switch (SendTextMessage(AsU16(phone.data()), markTag)) {
    case TextMessageResult::Confirmed:
        return; // the result screen is on its way
    case TextMessageResult::TooLong:
        AfxMessageBox(kPhoneTooLong, MB_OK);
        return;
    case TextMessageResult::Failed:
        AfxMessageBox(kNetworkFailed, MB_OK);
        return;
    case TextMessageResult::Sent:
        break;
    }
    AfxMessageBox(kTextMessageSent, MB_OK);
    OnCancelCommand();
}

void CProcessDlg::CloseTransaction() {
    // Once: a transaction that has moved on was ended already (only this thread ends it).
    if (m_transaction != 0 && g_transaction == m_transaction)
        EndTransaction();
}

void CProcessDlg::OnOkCommand() {
    CloseTransaction();
    OnOK();
}

void CProcessDlg::OnCancelCommand() {
    CloseTransaction();
    OnCancel();
}

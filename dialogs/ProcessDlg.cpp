#include "dialogs/ProcessDlg.h"

#include "dialogs/Layout.h"
#include "dialogs/Messages.h"
#include "dialogs/PollCompletion.h"
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

CProcessDlg::CProcessDlg() : CDialog(IDD_PROCESS_DIALOG) { g_txDone = 0; }

CProcessDlg::~CProcessDlg() {
    // The dialog normally joined its poller when it closed; this covers every other way out.
    if (m_pollThread) {
        RaiseStopPolling();
        JoinPoller();
    }
}

void CProcessDlg::DoDataExchange(CDataExchange* dx) {
    CDialog::DoDataExchange(dx);
    DDX_Control(dx, IDC_PHONE_EDIT, m_phoneEdit);
}

BOOL CProcessDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    ::ShowWindow(GetDlgItem(IDOK), SW_HIDE);
    ApplySizingRule(*this);
    m_sendRect.SetRect(kSendButtonRect.left, kSendButtonRect.top, kSendButtonRect.right,
                       kSendButtonRect.bottom);

    m_bmpWaiting.LoadBitmap(IDB_WAITING);
    m_bmpSendButton.LoadBitmap(IDB_SEND_BUTTON);
    m_bmpGiveDone.LoadBitmap(IDB_GIVE_DONE);
    m_bmpPayDone.LoadBitmap(IDB_PAY_DONE);
    m_bmpCancelDone.LoadBitmap(IDB_CANCEL_DONE);

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

bool CProcessDlg::SendOperation(std::int32_t operation) {
    const OperationInfo* info = FindOperation(operation);
    int sent = 0;
    {
        auto exchange = LockExchange();
        if (!FormatOperationUrl(*info)) {
            exchange.unlock();
            AfxMessageBox(kInputTooLong, MB_OK);
            return false;
        }
        sent = SendRequest();
        if (sent && operation == Give)
            g_coinPoints = ParseCoinPoints(g_fields[1]);
    }
    if (!sent) {
        AfxMessageBox(kNetworkFailed, MB_OK);
        return false;
    }
    return true;
}

int CProcessDlg::StartGive() {
    if (!SendOperation(Give))
        return 0;
    g_txState = TxGiveSent;
    Invalidate(TRUE);
    StartPoller();
    return 1;
}

int CProcessDlg::StartPay() { return StartPayOrCancel(Pay); }

int CProcessDlg::StartCancel() { return StartPayOrCancel(Cancel); }

int CProcessDlg::StartPayOrCancel(std::int32_t operation) {
    m_phoneEdit.ShowWindow(SW_HIDE); // no text message outside a give
    if (!SendOperation(operation))
        return 0;
    g_txState = FindOperation(operation)->sentState;
    StartPoller();
    return 0;
}

void CProcessDlg::StartPoller() {
    // Cleared here, before the thread exists, so a stop raised at once is never lost.
    ClearStopPolling();
    m_pollThread = AfxBeginThread(PollThreadProc, m_hWnd, THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED);
    if (!m_pollThread)
        return;
    m_pollThread->m_bAutoDelete = FALSE; // kept for the join when the dialog closes
    m_pollThread->ResumeThread();
}

void CProcessDlg::JoinPoller() {
    if (!m_pollThread)
        return;
    // The poller never waits for this thread (it only posts), so this wait ends: at once when it
    // pauses, at worst after the exchange in flight, which the network time-outs bound.
    ::WaitForSingleObject(m_pollThread->m_hThread, INFINITE);
    delete m_pollThread;
    m_pollThread = nullptr;
}

UINT PollThreadProc(LPVOID param) {
    HWND dialog = static_cast<HWND>(param);
    PollCompletion();
    if (g_txDone != 0)
        ::PostMessageW(dialog, WM_POLL_DONE, 0, 0);
    return 1;
}

LRESULT CProcessDlg::OnPollDone(WPARAM, LPARAM) {
    // A close may have come first: it cleared g_txDone, and the screen stays as it is.
    if (g_txDone != 0) {
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

    int sent = 0;
    {
        auto exchange = LockExchange();
        if (!FormatTextMessageUrl(AsU16(phone.data()), markTag)) {
            exchange.unlock();
            AfxMessageBox(kPhoneTooLong, MB_OK);
            return;
        }
        sent = SendRequest();
        // Raised inside the exchange, so the poller cannot slip in one more poll; only a sent
        // message stops it (a failed one leaves the customer's confirmation possible).
        if (sent)
            RaiseStopPolling();
    }
    if (!sent) {
        AfxMessageBox(kNetworkFailed, MB_OK);
        return;
    }
    AfxMessageBox(kTextMessageSent, MB_OK);
    OnCancelCommand();
}

void CProcessDlg::CloseTransaction() {
    // This order lets a poller that sees the stop record 0: no completion, the screen untouched.
    g_txState = 0;
    g_txDone = 0;
    RaiseStopPolling();
    JoinPoller();
}

void CProcessDlg::OnOkCommand() {
    CloseTransaction();
    OnOK();
}

void CProcessDlg::OnCancelCommand() {
    CloseTransaction();
    OnCancel();
}

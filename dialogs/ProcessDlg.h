// The transaction dialog: sends the chosen operation, waits on the completion poller for the
// customer's confirmation, and shows the waiting screen or the operation's result screen. In a
// give the cashier can send the customer a text message instead.
//
// Threads: the dialog runs on the UI thread; the poller thread (PollThreadProc) shares only the
// state of net/SharedState.h with it and reports completion by posting WM_POLL_DONE. The dialog
// joins its poller before it ends, so no poller outlives its transaction.
#pragma once

#include "framework/Afx.h"

#include <cstdint>

// Posted by the poller thread once it has recorded a completion in g_txDone.
inline constexpr UINT WM_POLL_DONE = WM_APP + 1;

class CProcessDlg : public CDialog {
public:
    CProcessDlg();
    ~CProcessDlg() override;

protected:
    void DoDataExchange(CDataExchange* dx) override;
    BOOL OnInitDialog() override;
    int StartGive();
    int StartPay();
    int StartCancel();

    void OnPaint();
    void DrawWaitingScreen(CDC& dc);
    void DrawGiveResult(CDC& dc);
    void DrawPayResult(CDC& dc);
    void DrawCancelResult(CDC& dc);

    void OnLButtonDown(UINT flags, CPoint point);
    void OnOkCommand();
    void OnCancelCommand();
    LRESULT OnPollDone(WPARAM, LPARAM);

    DECLARE_MESSAGE_MAP()

private:
    // Sends a pay or cancel request; the shared part of StartPay and StartCancel.
    int StartPayOrCancel(std::int32_t operation);
    // Sends the operation's request inside one exchange; shows the failure message itself.
    bool SendOperation(std::int32_t operation);
    void StartPoller();
    // Waits for the poller thread to end; the caller has raised the stop flag.
    void JoinPoller();
    void DrawResult(CDC& dc, const CBitmap& picture, int lastField);
    // Resets the transaction state and stops the poller; the two close handlers' common part.
    void CloseTransaction();

    CBitmap m_bmpWaiting;
    CBitmap m_bmpSendButton;
    CBitmap m_bmpGiveDone;
    CBitmap m_bmpPayDone;
    CBitmap m_bmpCancelDone;
    CRect m_sendRect;
    CEdit m_phoneEdit;
    CWinThread* m_pollThread = nullptr;
};

// The poller thread: runs PollCompletion and, when it recorded a completion, posts WM_POLL_DONE
// to the dialog window given as its parameter. It touches no window object.
UINT PollThreadProc(LPVOID param);

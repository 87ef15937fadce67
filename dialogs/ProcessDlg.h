// The transaction dialog: sends the chosen operation, waits on the completion poller for the
// customer's confirmation, and shows the waiting screen or the operation's result screen. In a
// give the cashier can send the customer a text message instead.
//
// Threads: the dialog runs on the UI thread; its poller (dialogs/PollThread.h) shares only the
// state of net/SharedState.h with it and reports completion by posting WM_POLL_DONE with its
// transaction. The dialog never waits for its poller: closing ends the transaction and returns,
// and a poller still in the network finds its transaction gone when it comes back.
#pragma once

#include "framework/Afx.h"

#include <cstdint>

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
    // Sends the operation's request (dialogs/OperationRequest.h); shows the failure message itself.
    bool RequestOperation(std::int32_t operation);
    void StartPoller();
    void DrawResult(CDC& dc, const CBitmap& picture, int lastField);
    // Ends the transaction and with it the poller, once, whichever way the dialog goes: the two
    // close handlers, the close after a sent text message, a poller that cannot start, and the
    // destructor. Never waits for the poller.
    void CloseTransaction();

    CBitmap m_bmpWaiting;
    CBitmap m_bmpSendButton;
    CBitmap m_bmpGiveDone;
    CBitmap m_bmpPayDone;
    CBitmap m_bmpCancelDone;
    CRect m_sendRect;
    CEdit m_phoneEdit;
    // This dialog's transaction, from OnInitDialog on: it runs while g_transaction still says so.
    std::uint32_t m_transaction = 0;
};

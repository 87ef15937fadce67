// The login dialog: a full-window skin with the id and password edits and a login image button.
// Its result tells the launcher whether the login was accepted.
#pragma once

#include "framework/Afx.h"

class CLoginDlg : public CDialog {
public:
    CLoginDlg();

protected:
    void DoDataExchange(CDataExchange* dx) override;
    BOOL OnInitDialog() override;
    void OnLogin();
    void OnPaint();
    void OnQuit();
    void OnLButtonDown(UINT flags, CPoint point);

    DECLARE_MESSAGE_MAP()

private:
    CEdit m_idEdit;
    CEdit m_passwordEdit;
    CBitmap m_bmpBackground;
    CBitmap m_bmpLoginButton;
    CRect m_loginRect;
};

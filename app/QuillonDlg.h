// The launcher: a small always-on-top banner. Its initialisation runs the login first; after a
// successful login a click on it opens the amount-entry dialog.
#pragma once

#include "framework/Afx.h"

class CQuillonDlg : public CDialog {
public:
    CQuillonDlg();

protected:
    BOOL OnInitDialog() override;
    void OnPaint();
    HCURSOR OnQueryDragIcon();
    void OnLaunchButton();
    void OnLButtonDown(UINT flags, CPoint point);

    DECLARE_MESSAGE_MAP()

private:
    HICON m_hIcon;
    CBitmap m_bmpLauncher;
};

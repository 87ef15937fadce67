// The upgrade notice, shown when the server announces a client version other than this one.
// Accepting opens the operator's web site and ends the program; declining goes on working.
#pragma once

#include "framework/Afx.h"

class UpGradeDlg : public CDialog {
public:
    UpGradeDlg();

protected:
    void DoDataExchange(CDataExchange* dx) override;
    BOOL OnInitDialog() override;
    void OnUpgrade();

    DECLARE_MESSAGE_MAP()

private:
    CEdit m_messageEdit;
};

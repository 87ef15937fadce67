// The amount-entry dialog: the cashier types the sale amount (the rate is pre-filled) and picks
// give, pay or cancel with one of three image buttons, each of which runs a transaction dialog.
#pragma once

#include "framework/Afx.h"

#include <cstdint>

class CPosDlg : public CDialog {
public:
    CPosDlg();

protected:
    void DoDataExchange(CDataExchange* dx) override;
    BOOL OnInitDialog() override;
    void OnGiveMileage();
    void OnPayMileage();
    void OnCancelMileage();
    void OnPaint();
    void OnLButtonDown(UINT flags, CPoint point);

    DECLARE_MESSAGE_MAP()

private:
    // The one procedure behind the three operation handlers.
    void RunOperation(std::int32_t operation);

    CEdit m_amountEdit;
    CEdit m_rateEdit;
    wchar_t m_rateText[80] = {};
    CBitmap m_bmpGive;
    CBitmap m_bmpPay;
    CBitmap m_bmpCancel;
    CBitmap m_bmpBackground;
    CRect m_giveRect;
    CRect m_payRect;
    CRect m_cancelRect;
};

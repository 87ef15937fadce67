// The application: starts the common controls and sockets, then runs the launcher as the main
// window. The program ends when the launcher ends.
#pragma once

#include "framework/Afx.h"

class CQuillonApp : public CWinApp {
public:
    CQuillonApp() = default;
    BOOL InitInstance() override;

    DECLARE_MESSAGE_MAP()
};

// Ids of the harness's throwaway test dialog, shared by its program and the harness self-test.
#pragma once

#define IDD_HARNESS_DEMO 100
#define IDC_DEMO_NAME 1001
#define IDC_DEMO_CLICK 1002
#define IDC_DEMO_FLAG 1003

// Exit codes: the dialog ended through IDOK or through IDCANCEL.
#define DEMO_EXIT_OK 7
#define DEMO_EXIT_CANCEL 3

// The client area the dialog gives itself, and two solid patches painted into it.
#define DEMO_CLIENT_WIDTH 320
#define DEMO_CLIENT_HEIGHT 200
#define DEMO_RED_LEFT 8
#define DEMO_RED_TOP 8
#define DEMO_RED_RIGHT 48
#define DEMO_RED_BOTTOM 28
#define DEMO_GREEN_LEFT 56
#define DEMO_GREEN_RIGHT 96

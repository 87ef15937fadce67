// A throwaway dialog that the GUI harness proves itself on: a topmost dialog with a fixed client
// size, two painted patches, an edit whose text the OK path shows in a message box, and a click
// echo. The exit code tells which way it ended.
#include <windows.h>

#include <string>

#include "HarnessDemoIds.h"

namespace {

void FitClientArea(HWND dialog) {
    RECT r = {0, 0, DEMO_CLIENT_WIDTH, DEMO_CLIENT_HEIGHT};
    AdjustWindowRectEx(&r, static_cast<DWORD>(GetWindowLongPtrW(dialog, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongPtrW(dialog, GWL_EXSTYLE)));
    SetWindowPos(dialog, nullptr, 40, 40, r.right - r.left, r.bottom - r.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

void PaintPatches(HWND dialog) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(dialog, &ps);
    HBRUSH red = CreateSolidBrush(RGB(200, 30, 40));
    HBRUSH green = CreateSolidBrush(RGB(20, 160, 60));
    const RECT redPatch = {DEMO_RED_LEFT, DEMO_RED_TOP, DEMO_RED_RIGHT, DEMO_RED_BOTTOM};
    const RECT greenPatch = {DEMO_GREEN_LEFT, DEMO_RED_TOP, DEMO_GREEN_RIGHT, DEMO_RED_BOTTOM};
    FillRect(dc, &redPatch, red);
    FillRect(dc, &greenPatch, green);
    DeleteObject(green);
    DeleteObject(red);
    EndPaint(dialog, &ps);
}

INT_PTR CALLBACK DemoProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        FitClientArea(dialog);
        return TRUE; // focus to the first tab stop, the name edit
    case WM_PAINT:
        PaintPatches(dialog);
        return TRUE;
    case WM_LBUTTONDOWN: {
        const int x = static_cast<short>(LOWORD(lParam));
        const int y = static_cast<short>(HIWORD(lParam));
        const std::wstring text = std::to_wstring(x) + L"," + std::to_wstring(y);
        SetDlgItemTextW(dialog, IDC_DEMO_CLICK, text.c_str());
        ShowWindow(GetDlgItem(dialog, IDC_DEMO_FLAG), SW_SHOW);
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            wchar_t name[100] = {};
            GetDlgItemTextW(dialog, IDC_DEMO_NAME, name, 100);
            const std::wstring text = std::wstring(L"입력: ") + name;
            MessageBoxW(dialog, text.c_str(), L"하네스 시험", MB_OK);
            EndDialog(dialog, DEMO_EXIT_OK);
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, DEMO_EXIT_CANCEL);
            return TRUE;
        }
        break;
    default:
        break;
    }
    return FALSE;
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    return static_cast<int>(
        DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_HARNESS_DEMO), nullptr, DemoProc, 0));
}

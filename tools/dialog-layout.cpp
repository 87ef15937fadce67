// Prints where the controls of Quillon's dialog templates land in client pixels, with the program's
// own sizing rules applied, and can show a dialog over its skins so the edits can be checked against
// the rules drawn in the artwork. A developer's tool: the skins and the edits must stay aligned
// whenever a template, a font mapping or a picture changes.
//
// Build (from the repository root):
//   x86_64-w64-mingw32-windres -c 65001 res/Quillon.rc -O coff -o build/dialog-layout-res.o
//   x86_64-w64-mingw32-g++-posix -std=c++20 -O1 -municode -static tools/dialog-layout.cpp
//       build/dialog-layout-res.o -o build/dialog-layout.exe -luser32 -lgdi32 -lcomctl32
// Run:
//   tools/wine-run.sh build/dialog-layout.exe                 every template, hidden
//   tools/wine-run.sh build/dialog-layout.exe --show 104 [S]   one dialog, visible with its skin, for
//                                                            S seconds (default 5); for 105 a further
//                                                            argument picks the screen: wait, give,
//                                                            pay or cancel
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "../res/resource.h"

namespace {

enum class Sizing { Template, Client600, Window600 };

struct TemplateInfo {
    int id;
    const wchar_t* name;
    Sizing sizing;
};

constexpr TemplateInfo kTemplates[] = {
    {IDD_QUILLON_DIALOG, L"launcher", Sizing::Template},
    {IDD_POS_DIALOG, L"amount entry", Sizing::Client600},
    {IDD_PROCESS_DIALOG, L"transaction", Sizing::Client600},
    {IDD_LOGIN_DIALOG, L"login", Sizing::Window600},
    {IDD_UPGRADE_DIALOG, L"upgrade notice", Sizing::Template},
};

// A bitmap resource, deleted with its owner.
class Picture {
public:
    explicit Picture(int id)
        : m_bitmap(static_cast<HBITMAP>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id),
                                                   IMAGE_BITMAP, 0, 0, 0))) {}
    ~Picture() {
        if (m_bitmap)
            DeleteObject(m_bitmap);
    }
    Picture(const Picture&) = delete;
    Picture& operator=(const Picture&) = delete;

    // Copies width x height from the picture's origin to x, y, as the program's skin step does.
    void Draw(HDC dc, int x, int y, int width, int height) const {
        if (!m_bitmap)
            return;
        HDC memory = CreateCompatibleDC(dc);
        HGDIOBJ previous = SelectObject(memory, m_bitmap);
        BitBlt(dc, x, y, width, height, memory, 0, 0, SRCCOPY);
        SelectObject(memory, previous);
        DeleteDC(memory);
    }

private:
    HBITMAP m_bitmap;
};

struct Placement {
    int picture;
    int x, y, width, height;
};

// What one shown dialog paints: its pictures in paint order and, for the transaction screens, text
// lines in the program's default device-context attributes.
struct Screen {
    std::vector<Placement> pictures;
    std::vector<std::pair<POINT, std::wstring>> texts;
};

Screen ScreenFor(int templateId, const std::wstring& variant) {
    Screen s;
    switch (templateId) {
    case IDD_QUILLON_DIALOG:
        s.pictures = {{IDB_LAUNCHER, 0, 0, 357, 97}};
        break;
    case IDD_LOGIN_DIALOG:
        s.pictures = {{IDB_LOGIN_BACKGROUND, 0, 0, 600, 600}, {IDB_LOGIN_BUTTON, 158, 382, 288, 42}};
        break;
    case IDD_POS_DIALOG:
        s.pictures = {{IDB_POS_BACKGROUND, 0, 0, 600, 600},
                      {IDB_GIVE_BUTTON, 20, 296, 553, 82},
                      {IDB_PAY_BUTTON, 20, 380, 553, 82},
                      {IDB_CANCEL_BUTTON, 20, 464, 553, 82}};
        break;
    case IDD_PROCESS_DIALOG:
        if (variant.empty() || variant == L"wait") {
            s.pictures = {{IDB_WAITING, 0, 0, 600, 600}, {IDB_SEND_BUTTON, 315, 190, 125, 69}};
            s.texts.push_back({{215, 160}, L"누리 코인: 1500 POINT"});
        } else {
            const bool give = variant == L"give";
            const int picture = give ? IDB_GIVE_DONE : variant == L"pay" ? IDB_PAY_DONE : IDB_CANCEL_DONE;
            s.pictures = {{picture, 0, 0, 600, 600}};
            const wchar_t* sample[] = {L"홍길동", L"12",    L"15000", L"750",    L"1500",
                                       L"182000", L"9100", L"3000",  L"120000"};
            const int lines = give ? 7 : 9;
            for (int n = 0; n < lines; ++n)
                s.texts.push_back({{200, 142 + 39 * n}, sample[n]});
        }
        break;
    default:
        break;
    }
    return s;
}

struct ShowState {
    int templateId;
    Screen screen;
};

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        return TRUE;
    case WM_PAINT: {
        auto* state = reinterpret_cast<const ShowState*>(GetWindowLongPtrW(dialog, DWLP_USER));
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(dialog, &ps);
        if (state) {
            for (const Placement& p : state->screen.pictures)
                Picture(p.picture).Draw(dc, p.x, p.y, p.width, p.height);
            for (const auto& [at, text] : state->screen.texts)
                TextOutW(dc, at.x, at.y, text.c_str(), static_cast<int>(text.size()));
        }
        EndPaint(dialog, &ps);
        return TRUE;
    }
    case WM_CLOSE:
        DestroyWindow(dialog);
        return TRUE;
    default:
        return FALSE;
    }
}

void ApplySizing(HWND dialog, Sizing sizing) {
    RECT window{}, client{};
    GetWindowRect(dialog, &window);
    GetClientRect(dialog, &client);
    if (sizing == Sizing::Client600) {
        const int width = (window.right - window.left) - client.right + 600;
        const int height = (window.bottom - window.top) - client.bottom + 600;
        MoveWindow(dialog, 0, 0, width, height, TRUE);
    } else if (sizing == Sizing::Window600) {
        MoveWindow(dialog, 0, 0, 600, 600, TRUE);
    }
}

void PrintLayout(HWND dialog, const TemplateInfo& t) {
    RECT window{}, client{};
    GetWindowRect(dialog, &window);
    GetClientRect(dialog, &client);
    RECT units{0, 0, 4, 8};
    MapDialogRect(dialog, &units);
    wchar_t face[LF_FACESIZE] = L"?";
    LONG fontHeight = 0;
    if (auto font = reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0))) {
        LOGFONTW lf{};
        GetObjectW(font, sizeof lf, &lf);
        wcsncpy(face, lf.lfFaceName, LF_FACESIZE - 1);
        fontHeight = lf.lfHeight;
    }
    wprintf(L"template %d (%ls): window %ldx%ld, client %ldx%ld, base units %ldx%ld, font \"%ls\" height %ld\n",
            t.id, t.name, window.right - window.left, window.bottom - window.top, client.right, client.bottom,
            units.right, units.bottom, face, fontHeight);
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        RECT r{};
        GetWindowRect(child, &r);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
        wchar_t cls[64] = L"";
        GetClassNameW(child, cls, 64);
        wprintf(L"  control %4d %-8ls left %3ld top %3ld right %3ld bottom %3ld (%ldx%ld)\n", GetDlgCtrlID(child), cls,
                r.left, r.top, r.right, r.bottom, r.right - r.left, r.bottom - r.top);
    }
}

// Hides the template buttons that the program hides, so the screen looks as it does in use.
void HideAsTheProgramDoes(HWND dialog, int templateId) {
    std::vector<int> hidden;
    switch (templateId) {
    case IDD_QUILLON_DIALOG:
        hidden = {IDC_LAUNCH_BUTTON};
        break;
    case IDD_LOGIN_DIALOG:
        hidden = {IDOK, IDCANCEL};
        break;
    case IDD_POS_DIALOG:
        hidden = {IDC_GIVE_BUTTON, IDC_PAY_BUTTON, IDC_CANCEL_MILEAGE_BUTTON, IDC_EXIT_BUTTON};
        break;
    case IDD_PROCESS_DIALOG:
        hidden = {IDOK};
        break;
    default:
        break;
    }
    for (int id : hidden)
        ShowWindow(GetDlgItem(dialog, id), SW_HIDE);
}

int Show(const TemplateInfo& t, int seconds, const std::wstring& variant) {
    ShowState state{t.id, ScreenFor(t.id, variant)};
    HWND dialog = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(t.id), nullptr, DialogProc,
                                     reinterpret_cast<LPARAM>(&state));
    if (!dialog) {
        fwprintf(stderr, L"cannot create template %d: error %lu\n", t.id, GetLastError());
        return 1;
    }
    ApplySizing(dialog, t.sizing);
    HideAsTheProgramDoes(dialog, t.id);
    if (t.id == IDD_PROCESS_DIALOG && !variant.empty() && variant != L"wait")
        ShowWindow(GetDlgItem(dialog, IDC_PHONE_EDIT), SW_HIDE);
    if (t.id == IDD_POS_DIALOG)
        SetDlgItemTextW(dialog, IDC_RATE_EDIT, L"5");
    if (t.id == IDD_UPGRADE_DIALOG)
        SetDlgItemTextW(dialog, IDC_UPGRADE_MESSAGE_EDIT,
                        L"별바다 포스가 업그레이드 되었습니다. 업그레이드 하시겠습니까?");
    ShowWindow(dialog, SW_SHOW);
    PrintLayout(dialog, t);
    POINT origin{0, 0};
    ClientToScreen(dialog, &origin);
    wprintf(L"client origin on screen: %ld,%ld\n", origin.x, origin.y);
    fflush(stdout);

    const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(seconds) * 1000;
    MSG msg;
    while (IsWindow(dialog) && GetTickCount64() < end) {
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (!IsDialogMessageW(dialog, &msg)) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
        }
        Sleep(20);
    }
    if (IsWindow(dialog))
        DestroyWindow(dialog);
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&icc);

    if (argc >= 3 && std::wstring(argv[1]) == L"--show") {
        const int id = _wtoi(argv[2]);
        const int seconds = argc >= 4 ? _wtoi(argv[3]) : 5;
        const std::wstring variant = argc >= 5 ? argv[4] : L"";
        for (const TemplateInfo& t : kTemplates)
            if (t.id == id)
                return Show(t, seconds, variant);
        fwprintf(stderr, L"unknown template %d\n", id);
        return 2;
    }

    int failures = 0;
    for (const TemplateInfo& t : kTemplates) {
        HWND dialog =
            CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(t.id), nullptr, DialogProc, 0);
        if (!dialog) {
            fwprintf(stderr, L"cannot create template %d: error %lu\n", t.id, GetLastError());
            ++failures;
            continue;
        }
        ApplySizing(dialog, t.sizing);
        PrintLayout(dialog, t);
        DestroyWindow(dialog);
    }
    return failures == 0 ? 0 : 1;
}

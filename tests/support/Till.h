// The one way tests and the benchmark drive the program: a build of Quillon against quillon-server,
// driven as a cashier would, through client points of its skins; what the server received, the
// message boxes, and the screens as the program paints them from its own pictures. Control and
// picture ids come from the program's resource header; the requests, texts and places that it
// must get right are written below, never taken from the program.
#pragma once

#include "framework/Utf.h"
#include "res/resource.h"
#include "tests/support/Gui.h"
#include "tests/support/SimClient.h"

#include <string>
#include <string_view>
#include <vector>

inline constexpr DWORD kWaitMs = 15000;
// Longer than the program's receive time-out (20 s): a hung exchange has ended by then.
inline constexpr DWORD kPastTimeoutMs = 45000;

// Where the skinned screens put their image buttons and painted lines, in client pixels of the
// 600 x 600 skins. Written here as the screens are laid out, never taken from dialogs/Layout.h: a
// wrong number there moves the program's screen, and the screen it is held to stays put.
inline constexpr RECT kLoginButtonRect{158, 382, 446, 424};
inline constexpr RECT kGiveButtonRect{20, 296, 573, 378};
inline constexpr RECT kPayButtonRect{20, 380, 573, 462};
inline constexpr RECT kCancelButtonRect{20, 464, 573, 546};
inline constexpr RECT kSendButtonRect{315, 190, 440, 259};
inline constexpr int kBannerCopyWidth = 357; // the launcher's banner, from its picture's top left
inline constexpr int kBannerCopyHeight = 97;
inline constexpr int kCoinLineX = 215; // a give's waiting screen: its coin line
inline constexpr int kCoinLineY = 160;
inline constexpr int kResultX = 200; // result line n at kResultX, kResultFirstY + n * kResultLineStep
inline constexpr int kResultFirstY = 142;
inline constexpr int kResultLineStep = 39;

inline void ClickCentre(HWND window, const RECT& r) {
    gui::ClickClient(window, (r.left + r.right) / 2, (r.top + r.bottom) / 2);
}

// The requests as the operator's server spells them ("milege" included); the login's follows the
// default site URL, every other one's "http://%s" is the host the login named.
inline constexpr char kLoginTemplate[] = "/android/poslogin.php?id=%s&password=%s";
inline constexpr char kGiveTemplate[] =
    "http://%s/android/pcposmilege.php?deviceid=%s&process=1&price=%s&milege=%s";
inline constexpr char kPayTemplate[] =
    "http://%s/android/pcposmilege.php?deviceid=%s&process=2&price=%s&milege=%s";
inline constexpr char kCancelTemplate[] =
    "http://%s/android/pcposmilege.php?deviceid=%s&process=3&price=%s&milege=%s";
inline constexpr char kGetResultTemplate[] = "http://%s/android/pcposgetmilegeret.php?deviceid=%s";
inline constexpr char kDeleteDataTemplate[] = "http://%s/android/deleteposdata.php?deviceid=%s";
inline constexpr char kTextMessageTemplate[] =
    "http://%s/sms_client_v10/pctelmilege.php?deviceid=%s&price=%s&milege=%s&tel=%s&marktag=%d";

// The message boxes and notices as the cashier reads them. The three "too long" refusals are this
// program's own (a URL past its capacity); the others are the operator's wording.
inline constexpr wchar_t kLoginRejected[] = L"not correct id and password";
inline constexpr wchar_t kLoginTooLong[] = L"아이디 또는 비밀번호가 너무 깁니다.";
inline constexpr wchar_t kUpgradeNotice[] = L"별바다 포스가 업그레이드 되었습니다. 업그레이드 하시겠습니까?";
inline constexpr wchar_t kNoAmount[] = L"금액을 입력하지 않았습니다.";
inline constexpr wchar_t kNetworkFailed[] = L"네트워크 연결이 되지 않았습니다.";
inline constexpr wchar_t kInputTooLong[] = L"입력한 값이 너무 깁니다.";
inline constexpr wchar_t kNoCoins[] = L"누리 코인이 없습니다. 별바다 앱을 이용해서 충전하세요.";
inline constexpr wchar_t kNoPhone[] = L"전화번호가 입력되지 않았습니다.";
inline constexpr wchar_t kPhoneTooLong[] = L"전화번호가 너무 깁니다.";
inline constexpr wchar_t kTextMessageSent[] = L"문자를 전송했습니다.";
// A give's waiting screen: the balance of the give reply in place of %d.
inline constexpr wchar_t kCoinLine[] = L"누리 코인: %d POINT";

struct Operation {
    const char* name;
    const char* request;        // its template above
    const char* completionCode; // get-result reply field 1 once the customer confirmed it
    RECT button;
    int donePicture;
    int lines; // result lines of its screen
};
// A give's result shows reply fields 2 to 8; a pay's and a cancel's fields 2 to 10.
inline const Operation kGive{"Give", kGiveTemplate, "11", kGiveButtonRect, IDB_GIVE_DONE, 7};
inline const Operation kPay{"Pay", kPayTemplate, "12", kPayButtonRect, IDB_PAY_DONE, 9};
inline const Operation kCancel{"Cancel", kCancelTemplate, "13", kCancelButtonRect, IDB_CANCEL_DONE, 9};

struct CloseWay {
    const char* name;
    void (*close)(HWND dialog);
};
inline const CloseWay kEsc{"Esc", [](HWND w) { gui::Command(w, IDCANCEL); }};
inline const CloseWay kEnter{"Enter", [](HWND w) { gui::Command(w, IDOK); }};
inline const CloseWay kCloseBox{"CloseBox", [](HWND w) { PostMessageW(w, WM_SYSCOMMAND, SC_CLOSE, 0); }};

// The path of an endpoint template, and the target the server logs for it with `values` (already
// encoded) in place of its conversions.
std::string PathOf(std::string_view tmpl);
std::string TargetOf(std::string_view tmpl, const std::vector<std::string>& values);

class Till {
public:
    Till(int port, const std::wstring& exeName) : sim(port), exe(ExecutableDirectory() + exeName) {}

    bool StartProgram(); // and waits for its login dialog
    // Waits for the topmost dialog that holds control `controlId`, visible unless `anyState`:
    // IDC_ID_EDIT the login, IDC_LAUNCH_BUTTON the launcher, IDC_AMOUNT_EDIT the amount entry,
    // IDC_PHONE_EDIT the transaction. (The upgrade notice's edit shares its id with the login's
    // password edit; the notice lies above the login that opened it.)
    HWND WaitForDialog(int controlId, DWORD timeoutMs = kWaitMs, bool anyState = false) const;
    void SubmitLogin(const std::wstring& id = L"demo", const std::wstring& password = L"demo");
    // Logs in (unless the login has gone already) and opens the amount entry, then empties the
    // request log. False when either failed.
    bool OpenAmountEntry();
    // The visible transaction dialog; nullptr when a message box came first.
    HWND Start(const Operation& op, const std::wstring& amount = L"15000",
               const std::wstring* rate = nullptr);
    // The transaction dialog, visible or (`anyState`) not shown yet while its request runs.
    HWND TransactionDialog(bool anyState = false) const;
    // False when `dialog` was not destroyed in time.
    bool Close(HWND dialog, const CloseWay& way, DWORD timeoutMs = kWaitMs) const;
    // The text of the program's message box, which it closes; empty when none came.
    std::wstring TakeMessageBox(DWORD timeoutMs = kWaitMs) const;
    // Whether `window`'s thread handles messages again and is no longer taken for hung.
    bool WaitUntilResponsive(HWND window) const;

    // This till's device id, from the first request that carries it (waiting for it).
    const std::string& Device() const;
    std::string OperationTarget(const Operation& op, const std::string& price,
                                const std::string& rate = "5") const;
    std::string GetResultTarget() const { return TargetOf(kGetResultTemplate, {Device()}); }
    std::string DeleteDataTarget() const { return TargetOf(kDeleteDataTemplate, {Device()}); }
    // Requests to the template's path since the last reset of the log.
    int Sent(std::string_view tmpl) const;
    bool WaitForSent(std::string_view tmpl, int n, DWORD timeoutMs = kWaitMs) const;
    // True when no request arrives for `quietMs` on the server's clock, from the last arrival (from
    // the call when none came yet); false as soon as one arrives after the call.
    bool StaysQuiet(DWORD quietMs = 1500) const;
    // Waits until a connect to the server's port goes unanswered (a SYN sent and not yet
    // answered, as the host's /proc/net/tcp shows it): the moment a black-holed exchange is in
    // its connect.
    bool WaitForUnansweredConnect(DWORD timeoutMs = kWaitMs) const;
    // The request log with runs of one repeated target collapsed: a poll sequence reads as one.
    std::vector<std::string> CollapsedLog() const;

    // The screens as the program paints them.
    Screen Waiting(const Operation& op, int coins = 1500) const;
    Screen Result(const Operation& op, const std::vector<std::wstring>& lines) const;
    // Waits until `window`'s client area equals `expected` outside `except` (client rectangles):
    // 0, else how many pixels still differ (-1: unreadable) and, in `bounds`, where.
    int Differences(HWND window, const Screen& expected, const std::vector<RECT>& except = {},
                    RECT* bounds = nullptr, DWORD timeoutMs = kWaitMs) const;
    // How many result lines `window` draws over `op`'s picture, which must be exact elsewhere;
    // -1 when the picture is not there.
    int LinesDrawn(HWND window, const Operation& op) const;
    static RECT RectIn(HWND dialog, HWND window);
    static RECT ControlRect(HWND dialog, int id) { return RectIn(dialog, GetDlgItem(dialog, id)); }

    SimClient sim;
    TestProcess app;
    std::wstring exe; // what StartProgram starts
    HWND login = nullptr, launcher = nullptr, amountEntry = nullptr;

private:
    mutable std::string m_device;
};

// The program's own conversions, for the wide strings of the Windows API (UTF-16 there too).
inline std::wstring Widen(std::string_view utf8) {
    const std::u16string text = quillon::Utf8ToUtf16(utf8);
    return std::wstring(text.begin(), text.end());
}
inline std::string Narrow(std::wstring_view text) {
    return quillon::Utf16ToUtf8(std::u16string(text.begin(), text.end()));
}

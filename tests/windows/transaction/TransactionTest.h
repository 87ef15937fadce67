// Base of the transaction tests: QuillonTest.exe logged in with the amount-entry dialog open and
// an empty request log, plus what the tests need to name the requests the server should see, to
// drive and close the transaction dialog, and to compare its screens with what is expected.
#pragma once

#include "tests/windows/common/QuillonSession.h"
#include "tests/windows/transaction/ExpectedScreen.h"

#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

// Processes on the wire.
inline constexpr int kProcessGive = 1;
inline constexpr int kProcessPay = 2;
inline constexpr int kProcessCancel = 3;

inline constexpr wchar_t kNoAmount[] = L"금액을 입력하지 않았습니다.";
inline constexpr wchar_t kNetworkFailed[] = L"네트워크 연결이 되지 않았습니다.";
inline constexpr wchar_t kInputTooLong[] = L"입력한 값이 너무 깁니다.";

// Client rectangles of the screens' parts.
inline constexpr RECT kCoinLineArea{215, 160, 600, 176};
inline constexpr int kResultX = 200;
inline constexpr int kResultTop = 142;
inline constexpr int kResultStep = 39;
inline constexpr int kResultBands = 9;
RECT ResultBand(int line); // x 200 to the right edge, one text cell high

// The three ways a cashier closes the transaction dialog.
struct CloseWay {
    const char* name;
    void (*close)(HWND dialog);
};
inline constexpr CloseWay kEsc{"Esc", [](HWND w) { gui::CommandCancel(w); }};
inline constexpr CloseWay kEnter{"Enter", [](HWND w) { gui::CommandOk(w); }};
inline constexpr CloseWay kCloseBox{"CloseBox", [](HWND w) { PostMessageW(w, WM_SYSCOMMAND, SC_CLOSE, 0); }};
inline void PrintTo(const CloseWay& way, std::ostream* os) {
    *os << way.name;
}

// A customer's account as the server's result record reports it.
struct Account {
    std::wstring name;
    long long visits = 0;
    long long sales = 0;
    long long given = 0;
    long long used = 0;
};

class TransactionTest : public QuillonGuiTest {
protected:
    void SetUp() override;

    // Empties the request log and the outbox and disarms every fault.
    void ClearLog() const;

    // The request targets the server should see from this till.
    std::string OperationTarget(int process, std::string_view price, std::string_view rate) const;
    std::string GetResultTarget() const;
    std::string DeleteDataTarget() const;
    std::string TextMessagePrefix() const { return "/sms_client_v10/pctelmilege.php?deviceid=" + Device(); }

    std::vector<std::string> Requests() const { return sim.RequestTargets(); }
    std::size_t Count(const std::string& target) const;
    // Waits until `target` has arrived `n` times in all (since the last ClearLog).
    bool WaitForCount(const std::string& target, std::size_t n, DWORD timeoutMs = kGuiWaitMs) const;
    // True when no request arrives for `quietMs`; the log is compared before and after.
    bool StaysQuiet(DWORD quietMs = 1500) const;

    // Types the texts and clicks an image button; returns the visible transaction dialog, or
    // nullptr when a message box came first (see TakeMessageBox, then TransactionDialog).
    HWND Start(POINT button, const std::wstring& amount, const std::wstring* rate = nullptr) {
        return app.StartOperation(button, amount, rate);
    }
    // Waits for the visible transaction dialog.
    HWND TransactionDialog() const;
    // The transaction dialog's window even before it is shown (while its request runs).
    HWND TransactionWindowOfAnyState() const;
    // Closes `dialog` the given way and waits until it is destroyed. False when it stayed.
    bool Close(HWND dialog, const CloseWay& way) const;

    // Waits until the client area of `dialog` equals `expected` outside `except`; the failure
    // says how many pixels still differ, and where.
    ::testing::AssertionResult ShowsScreen(HWND dialog, const ExpectedScreen& expected,
                                           const std::vector<RECT>& except = {}) const;
    // The waiting screen: picture 133, the send picture, and for a give the coin line.
    void DrawWaiting(ExpectedScreen& screen, std::optional<int> coins) const;
    // A result screen: its picture and the lines at x 200, y 142 + 39 n.
    void DrawResult(ExpectedScreen& screen, const std::vector<std::wstring>& lines) const;
    // The rectangle of control `id` of `dialog` in the dialog's client coordinates.
    static RECT ControlRect(HWND dialog, int id);

    // Runs an operation on a second till of the demo shop, entirely through the server's own
    // endpoints, and confirms it for the demo customer: the customer's account as it then stands.
    // Call before ClearLog (the second till's requests are in the log).
    std::optional<Account> OperateElsewhere(int process, std::string_view price,
                                            std::string_view rate = "0") const;

    // This till's device id. The login reply is not in sight of the test, so it is taken from the
    // first request that carries it (the server refuses an id it did not give out), waiting for
    // that request when it has not arrived yet.
    const std::string& Device() const;

    const std::wstring exe = ExecutableDirectory() + L"QuillonTest.exe";
    HWND amountEntry = nullptr;

private:
    mutable std::string m_device;
};

// The log with runs of one repeated target collapsed into one entry: a poll sequence
// "get, get, get" reads as one "get".
std::vector<std::string> CollapseRepeats(const std::vector<std::string>& targets);

std::wstring Widen(std::string_view utf8);
std::wstring Decimal(long long value);

// The fault suite's fixture: QuillonTest.exe against quillon-server with faults armed on its
// endpoints. Every case ends by checking that the program is still there and that nothing went to
// the server twice.
#pragma once

#include "tests/support/ResourcePicture.h"
#include "tests/windows/common/QuillonSession.h"

#include <map>
#include <string>
#include <vector>

inline constexpr wchar_t kRejected[] = L"not correct id and password";
inline constexpr wchar_t kNetworkFailed[] = L"네트워크 연결이 되지 않았습니다.";

inline constexpr char kLoginPath[] = "/android/poslogin.php";
inline constexpr char kOperationPath[] = "/android/pcposmilege.php";
inline constexpr char kResultPath[] = "/android/pcposgetmilegeret.php";
inline constexpr char kDeletePath[] = "/android/deleteposdata.php";
inline constexpr char kTextPath[] = "/sms_client_v10/pctelmilege.php";

// The transaction dialog's pictures.
inline constexpr int kWaitingPicture = 133;
inline constexpr int kGiveDonePicture = 138;
inline constexpr int kPayDonePicture = 143;
inline constexpr int kCancelDonePicture = 144;

// Longer than the program's receive time-out (20 s): a hung exchange has ended by then.
inline constexpr DWORD kPastTimeoutMs = 45000;

class FaultFixture : public QuillonGuiTest {
protected:
    void SetUp() override;

    // Logs in as the demo shop, with the server's own reply, and opens the amount entry.
    void LoginAndOpenAmountEntry();
    // The same with `reply` answered to the login instead; false when no launcher came.
    bool LoginWithReply(const std::string& reply);
    // A real login reply's fields, taken by the test itself (the till's log is not touched by it
    // except for this one login line): device id, host and rate the server really knows.
    std::vector<std::string> ServerLoginFields() const;

    // Whether `window`'s thread handles messages again and is no longer taken for hung.
    bool WaitUntilResponsive(HWND window) const;
    // Starts an operation of 15000 at the rate shown and returns the transaction dialog, or nullptr.
    HWND Start(POINT imageButton, const std::wstring& amount = L"15000");

    // How many logged requests went to `path`.
    int Sent(const std::string& path) const;
    // Waits until at least `count` requests went to `path`.
    bool WaitForSent(const std::string& path, int count, DWORD timeoutMs = kGuiWaitMs) const;

    // The one picture of the transaction dialog's four that `window` clearly shows, else 0.
    int ShownPicture(HWND window) const;
    bool WaitForPicture(HWND window, int id, DWORD timeoutMs = kGuiWaitMs) const;

    // Confirms the pending operation as the demo customer.
    bool ConfirmAtServer() const { return sim.Confirm(app.DeviceId()); }

    // No message box is up, and the program has not ended.
    void ExpectQuietAndRunning();
    // Every request of an operation or a text message went out at most once, and exactly
    // `operations` operation requests were made.
    void ExpectNothingSentTwice(int operations);

private:
    std::map<int, ResourcePicture> m_pictures;
};

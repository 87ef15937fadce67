// One run of QuillonTest.exe against the tests' quillon-server, driven the way a cashier would:
// the windows are found by their captions and sizes, input goes to client points of the skins.
#pragma once

#include "tests/support/ClientPixels.h"
#include "tests/support/SimClient.h"
#include "tests/support/TestProcess.h"
#include "tests/support/WindowInput.h"
#include "tests/support/WindowQuery.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

inline constexpr DWORD kGuiWaitMs = 15000;
inline constexpr wchar_t kLauncherCaption[] = L"ByeolbadaPos";
inline constexpr wchar_t kPosCaption[] = L"별바다 포스"; // amount entry and transaction dialogs

// Client points of the image buttons.
inline constexpr POINT kLoginButton{300, 400};
inline constexpr POINT kGiveButton{300, 330};
inline constexpr POINT kPayButton{300, 420};
inline constexpr POINT kCancelButton{300, 500};
inline constexpr POINT kSendButton{377, 224};

// Control ids of the templates.
inline constexpr int kIdEdit = 1010;
inline constexpr int kPasswordEdit = 1011;
inline constexpr int kLaunchButton = 1001;
inline constexpr int kAmountEdit = 1002;
inline constexpr int kRateEdit = 1003;
inline constexpr int kPhoneEdit = 1012;

class QuillonSession {
public:
    explicit QuillonSession(const SimClient& sim) : m_sim(sim) {}

    // Starts QuillonTest.exe and waits for its login dialog. False when either failed.
    bool Start();
    TestProcess& Process() { return m_process; }
    DWORD Pid() const { return m_process.Id(); }

    HWND LoginDialog() const { return m_login; }
    // Types id and password and clicks the login image.
    void SubmitLogin(const std::wstring& id, const std::wstring& password);
    // Logs in and waits for the launcher; nullptr when it did not come.
    HWND LoginAndWaitForLauncher(const std::wstring& id = L"demo", const std::wstring& password = L"demo");
    HWND Launcher() const { return m_launcher; }

    // Clicks the launcher and waits for the amount-entry dialog.
    HWND OpenAmountEntry();
    HWND AmountEntry() const { return m_amountEntry; }
    // Types the amount (and the rate when given) and clicks an image button; then waits for the
    // transaction dialog, nullptr when none came (for example after a refusal message).
    HWND StartOperation(POINT imageButton, const std::wstring& amount, const std::wstring* rate = nullptr);
    // The transaction dialog: a "별바다 포스" window other than the amount entry.
    HWND FindTransactionDialog() const;

    // The device id the server gave this till (from the login reply's use in later requests).
    std::string DeviceId() const;

    // Waits for a message box of the program, reads its text and closes it. Empty when none.
    std::wstring TakeMessageBox(DWORD timeoutMs = kGuiWaitMs);

private:
    const SimClient& m_sim;
    TestProcess m_process;
    HWND m_login = nullptr;
    HWND m_launcher = nullptr;
    HWND m_amountEntry = nullptr;
};

// Base of every GUI test: a reset server with the demo shop as the tests expect it.
class QuillonGuiTest : public ::testing::Test {
protected:
    void SetUp() override;
    SimClient sim{QUILLON_TEST_PORT_GUI};
    QuillonSession app{sim};
};

// The request log without the time stamps, only targets whose path starts with `prefix`.
std::vector<std::string> TargetsStartingWith(const SimClient& sim, const std::string& prefix);

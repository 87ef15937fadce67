// Replies that arrive cut, slowly or never: a cut reply is no reply, a slow one is waited for, and
// a get-result that never answers leaves the dialog usable and closable.
#include "tests/windows/faults/FaultFixture.h"

namespace {

using TransportFaultTest = FaultFixture;

TEST_F(TransportFaultTest, LoginReplyCutMidBodyIsARejectedLogin) {
    ASSERT_TRUE(sim.ArmFault(kLoginPath, "reset&after=10"));
    app.SubmitLogin(L"demo", L"demo");
    EXPECT_EQ(app.TakeMessageBox(), kRejected);
    EXPECT_EQ(app.Process().WaitForExit(kGuiWaitMs), 0u);
    EXPECT_EQ(Sent(kLoginPath), 1);
}

// A give whose reply is cut mid-body, or never comes (until the receive time-out), is no reply:
// the network message, the waiting screen without a poller, and the request sent once.
struct FailedGive {
    const char* name;
    const char* mode;
    DWORD messageWaitMs;
};

class GiveWithoutReply : public TransportFaultTest, public ::testing::WithParamInterface<FailedGive> {};

TEST_P(GiveWithoutReply, ShowsTheNetworkMessageAndStartsNoPolling) {
    LoginAndOpenAmountEntry();
    ASSERT_TRUE(sim.ArmFault(kOperationPath, GetParam().mode));
    gui::SetDlgItemTextOf(app.AmountEntry(), kAmountEdit, L"15000");
    gui::ClickClient(app.AmountEntry(), kGiveButton.x, kGiveButton.y);
    EXPECT_EQ(app.TakeMessageBox(GetParam().messageWaitMs), kNetworkFailed);
    HWND transaction = nullptr;
    ASSERT_TRUE(
        gui::WaitUntil(kGuiWaitMs, [&] { return (transaction = app.FindTransactionDialog()) != nullptr; }));
    Sleep(1000);
    EXPECT_EQ(Sent(kResultPath), 0);
    ExpectNothingSentTwice(1);
    ExpectQuietAndRunning();
    gui::CommandCancel(transaction);
    EXPECT_TRUE(gui::WaitForWindowGone(transaction, kGuiWaitMs));
}

INSTANTIATE_TEST_SUITE_P(Faults, GiveWithoutReply,
                         ::testing::Values(FailedGive{"CutMidBody", "reset&after=5", kGuiWaitMs}, // "1</>1" of "1</>1500"
                                           FailedGive{"NeverAnswered", "hang", kPastTimeoutMs}),
                         [](const auto& param) { return std::string(param.param.name); });

TEST_F(TransportFaultTest, ACompletionReplyCutMidBodyIsNotACompletion) {
    LoginAndOpenAmountEntry();
    HWND transaction = Start(kGiveButton);
    ASSERT_NE(transaction, nullptr);
    ASSERT_TRUE(WaitForSent(kResultPath, 1));
    // The cut keeps "1</>11</>" and a little of the first line: taken as a whole reply, that would
    // complete the give with broken lines.
    ASSERT_TRUE(sim.ArmFault(kResultPath, "reset&after=12"));
    ASSERT_TRUE(ConfirmAtServer());
    const int before = Sent(kResultPath);
    ASSERT_TRUE(WaitForSent(kResultPath, before + 3));
    EXPECT_EQ(ShownPicture(transaction), kWaitingPicture);
    EXPECT_EQ(Sent(kDeletePath), 0);

    ASSERT_TRUE(sim.DisarmFault(kResultPath));
    EXPECT_TRUE(WaitForPicture(transaction, kGiveDonePicture));
    EXPECT_TRUE(gui::WaitUntil(kGuiWaitMs, [&] { return Sent(kDeletePath) == 1; }));
    ExpectNothingSentTwice(1);
    ExpectQuietAndRunning();
    gui::CommandCancel(transaction);
    EXPECT_TRUE(gui::WaitForWindowGone(transaction, kGuiWaitMs));
}

struct SlowCase {
    const char* name;
    const char* path;
    const char* mode;
};

class SlowReply : public FaultFixture, public ::testing::WithParamInterface<SlowCase> {};

TEST_P(SlowReply, IsWaitedForAndTheGiveCompletes) {
    ASSERT_TRUE(sim.ArmFault(GetParam().path, GetParam().mode));
    LoginAndOpenAmountEntry();
    HWND transaction = Start(kGiveButton);
    ASSERT_NE(transaction, nullptr);
    ASSERT_TRUE(WaitForSent(kResultPath, 1));
    ASSERT_TRUE(ConfirmAtServer());
    EXPECT_TRUE(WaitForPicture(transaction, kGiveDonePicture, 2 * kGuiWaitMs));
    EXPECT_FALSE(gui::IsControlVisible(transaction, kPhoneEdit));
    EXPECT_TRUE(gui::WaitUntil(kGuiWaitMs, [&] { return Sent(kDeletePath) == 1; }));
    EXPECT_EQ(Sent(kLoginPath), 1);
    ExpectNothingSentTwice(1);
    ExpectQuietAndRunning();
    gui::CommandCancel(transaction);
    EXPECT_TRUE(gui::WaitForWindowGone(transaction, kGuiWaitMs));
}

INSTANTIATE_TEST_SUITE_P(Endpoints, SlowReply,
                         ::testing::Values(SlowCase{"Login", kLoginPath, "slow&chunk=4&ms=60"},
                                           SlowCase{"Give", kOperationPath, "slow&chunk=2&ms=150"},
                                           SlowCase{"GetResult", kResultPath, "slow&chunk=16&ms=80"},
                                           SlowCase{"GetResultDelayed", kResultPath, "delay&ms=1500"},
                                           SlowCase{"GetResultWithAServerErrorStatus", kResultPath,
                                                    "status&code=500"}),
                         [](const auto& param) { return std::string(param.param.name); });

class HungResult : public FaultFixture {
protected:
    void SetUp() override {
        FaultFixture::SetUp();
        LoginAndOpenAmountEntry();
        transaction = Start(kGiveButton);
        ASSERT_NE(transaction, nullptr);
        ASSERT_TRUE(WaitForSent(kResultPath, 1));
        ASSERT_TRUE(sim.ArmFault(kResultPath, "hang"));
        // The next poll goes out and gets no answer.
        hungAt = Sent(kResultPath) + 1;
        ASSERT_TRUE(WaitForSent(kResultPath, hungAt));
        ASSERT_TRUE(WaitForPicture(transaction, kWaitingPicture));
    }
    HWND transaction = nullptr;
    int hungAt = 0;
};

TEST_F(HungResult, TheDialogRepaintsAndReactsWhileThePollHangs) {
    // Repaint: paint over part of the window from outside, invalidate it, and the program draws
    // its waiting screen again.
    {
        HDC dc = GetDC(transaction);
        ASSERT_NE(dc, nullptr);
        HBRUSH magenta = CreateSolidBrush(RGB(255, 0, 255));
        const RECT band{0, 0, 600, 120};
        FillRect(dc, &band, magenta);
        DeleteObject(magenta);
        ReleaseDC(transaction, dc);
    }
    ASSERT_TRUE(gui::WaitUntil(kGuiWaitMs, [&] { return ShownPicture(transaction) == 0; }))
        << "the band was not painted over";
    InvalidateRect(transaction, nullptr, TRUE);
    EXPECT_TRUE(WaitForPicture(transaction, kWaitingPicture));

    // React: the send image with an empty phone answers at once with its message.
    gui::SetDlgItemTextOf(transaction, kPhoneEdit, L"");
    gui::ClickClient(transaction, kSendButton.x, kSendButton.y);
    EXPECT_EQ(app.TakeMessageBox(), L"전화번호가 입력되지 않았습니다.");
    DWORD_PTR result = 0;
    EXPECT_TRUE(SendMessageTimeoutW(transaction, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 2000, &result));

    EXPECT_EQ(Sent(kResultPath), hungAt) << "one poll in flight, nothing more";
    ExpectNothingSentTwice(1);
    ExpectQuietAndRunning();
}

TEST_F(HungResult, CloseReturnsAndTheNextTransactionWorks) {
    gui::CommandCancel(transaction);
    // Within the receive time-out at the latest; no time is asserted.
    ASSERT_TRUE(gui::WaitForWindowGone(transaction, kPastTimeoutMs));
    ASSERT_TRUE(IsWindowVisible(app.AmountEntry()));
    EXPECT_TRUE(WaitUntilResponsive(app.AmountEntry())) << "the amount entry answers again";
    EXPECT_EQ(Sent(kResultPath), hungAt) << "no poll after the close";

    ASSERT_TRUE(sim.DisarmFault(kResultPath));
    HWND next = Start(kGiveButton, L"16000");
    ASSERT_NE(next, nullptr);
    ASSERT_TRUE(WaitForSent(kResultPath, hungAt + 1));
    ASSERT_TRUE(ConfirmAtServer());
    EXPECT_TRUE(WaitForPicture(next, kGiveDonePicture));
    EXPECT_TRUE(gui::WaitUntil(kGuiWaitMs, [&] { return Sent(kDeletePath) == 1; }));
    ExpectNothingSentTwice(2);
    ExpectQuietAndRunning();
    gui::CommandCancel(next);
    EXPECT_TRUE(gui::WaitForWindowGone(next, kGuiWaitMs));
}

} // namespace

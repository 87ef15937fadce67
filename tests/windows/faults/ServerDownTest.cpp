// The server goes down: at the login, at the operation request, in the middle of the polling. The
// program shows the message that belongs to the step, never resends, and keeps going once the
// server is back.
#include "tests/windows/faults/FaultFixture.h"

namespace {

using ServerDownTest = FaultFixture;

TEST_F(ServerDownTest, AtLoginTheLoginIsRejectedAndTheProgramEnds) {
    ASSERT_TRUE(sim.ArmFault(kLoginPath, "refuse"));
    app.SubmitLogin(L"demo", L"demo");
    EXPECT_EQ(app.TakeMessageBox(), kRejected);
    EXPECT_EQ(app.Process().WaitForExit(kGuiWaitMs), 0u);
    EXPECT_EQ(Sent(kLoginPath), 1) << "no second attempt";
}

struct OperationCase {
    const char* name;
    POINT button;
    const char* process;
};

class OperationRequestRefused : public FaultFixture, public ::testing::WithParamInterface<OperationCase> {};

TEST_P(OperationRequestRefused, ShowsTheNetworkMessageAndStartsNoPolling) {
    LoginAndOpenAmountEntry();
    ASSERT_TRUE(sim.ArmFault(kOperationPath, "refuse"));
    gui::SetDlgItemTextOf(app.AmountEntry(), kAmountEdit, L"15000");
    gui::ClickClient(app.AmountEntry(), GetParam().button.x, GetParam().button.y);
    EXPECT_EQ(app.TakeMessageBox(), kNetworkFailed);

    // The dialog still opens, on the waiting screen, and nothing polls behind it.
    HWND transaction = nullptr;
    ASSERT_TRUE(
        gui::WaitUntil(kGuiWaitMs, [&] { return (transaction = app.FindTransactionDialog()) != nullptr; }));
    EXPECT_TRUE(WaitForPicture(transaction, kWaitingPicture));
    Sleep(1000);
    EXPECT_EQ(Sent(kResultPath), 0);
    const auto operations = TargetsStartingWith(sim, kOperationPath);
    ASSERT_EQ(operations.size(), 1u);
    EXPECT_NE(operations[0].find(std::string("&process=") + GetParam().process + "&"), std::string::npos);
    ExpectQuietAndRunning();

    // Closing works, and once the server is back the next operation goes through.
    gui::CommandCancel(transaction);
    ASSERT_TRUE(gui::WaitForWindowGone(transaction, kGuiWaitMs));
    ASSERT_TRUE(sim.DisarmFault(kOperationPath));
    HWND next = Start(kGiveButton, L"16000");
    ASSERT_NE(next, nullptr);
    EXPECT_TRUE(WaitForSent(kResultPath, 1));
    ExpectNothingSentTwice(2);
    gui::CommandCancel(next);
    EXPECT_TRUE(gui::WaitForWindowGone(next, kGuiWaitMs));
}

INSTANTIATE_TEST_SUITE_P(Operations, OperationRequestRefused,
                         ::testing::Values(OperationCase{"Give", kGiveButton, "1"},
                                           OperationCase{"Pay", kPayButton, "2"},
                                           OperationCase{"Cancel", kCancelButton, "3"}),
                         [](const auto& param) { return std::string(param.param.name); });

TEST_F(ServerDownTest, AHostWhereNoServerListensFailsTheGiveAtOnce) {
    // The login names the host for everything after it; nobody listens there.
    auto fields = ServerLoginFields();
    ASSERT_EQ(fields.size(), 8u);
    const int deadPort = SimClient::UnusedPort();
    ASSERT_NE(deadPort, 0);
    fields[5] = "127.0.0.1:" + std::to_string(deadPort);
    ASSERT_TRUE(LoginWithReply(Record(fields)));

    gui::SetDlgItemTextOf(app.AmountEntry(), kAmountEdit, L"15000");
    gui::ClickClient(app.AmountEntry(), kGiveButton.x, kGiveButton.y);
    EXPECT_EQ(app.TakeMessageBox(), kNetworkFailed);
    HWND transaction = nullptr;
    ASSERT_TRUE(
        gui::WaitUntil(kGuiWaitMs, [&] { return (transaction = app.FindTransactionDialog()) != nullptr; }));
    EXPECT_TRUE(WaitForPicture(transaction, kWaitingPicture));
    ExpectQuietAndRunning();
    gui::CommandCancel(transaction);
    EXPECT_TRUE(gui::WaitForWindowGone(transaction, kGuiWaitMs));
    EXPECT_EQ(Sent(kOperationPath), 0) << "the real server heard nothing";
}

TEST_F(ServerDownTest, MidPollTheProgramWaitsSilentlyAndCompletesWhenTheServerIsBack) {
    LoginAndOpenAmountEntry();
    HWND transaction = Start(kGiveButton);
    ASSERT_NE(transaction, nullptr);
    ASSERT_TRUE(WaitForSent(kResultPath, 2));

    ASSERT_TRUE(sim.ArmFault(kResultPath, "refuse"));
    const int before = Sent(kResultPath);
    // The customer confirms while the server is down for the till: several polls fail.
    ASSERT_TRUE(ConfirmAtServer());
    ASSERT_TRUE(WaitForSent(kResultPath, before + 4));
    EXPECT_EQ(ShownPicture(transaction), kWaitingPicture);
    EXPECT_EQ(Sent(kDeletePath), 0);
    ExpectQuietAndRunning();

    ASSERT_TRUE(sim.DisarmFault(kResultPath));
    EXPECT_TRUE(WaitForPicture(transaction, kGiveDonePicture));
    EXPECT_FALSE(gui::IsControlVisible(transaction, kPhoneEdit));
    const int polls = Sent(kResultPath);
    Sleep(700); // two pauses and more: nothing follows the completion
    EXPECT_EQ(Sent(kResultPath), polls);
    EXPECT_EQ(Sent(kDeletePath), 1);
    ExpectNothingSentTwice(1);
    ExpectQuietAndRunning();
    gui::CommandCancel(transaction);
    EXPECT_TRUE(gui::WaitForWindowGone(transaction, kGuiWaitMs));
}

} // namespace

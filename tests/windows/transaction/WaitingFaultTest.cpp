// Faults of quillon-server while a transaction starts and waits: an operation request that is
// refused or fails, and get-result exchanges that fail, crawl or never answer.
#include "tests/windows/transaction/TransactionTest.h"

#include "res/resource.h"

namespace {

constexpr char kOperationPath[] = "/android/pcposmilege.php";
constexpr char kGetResultPath[] = "/android/pcposgetmilegeret.php";
constexpr wchar_t kNoPhone[] = L"전화번호가 입력되지 않았습니다.";

// The UI thread handles a message sent to `dialog`, waiting for it as long as a cashier might.
bool Responds(HWND dialog) {
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(dialog, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &result) != 0;
}

// An operation request that the server refuses or that gets no answer: the message, the waiting
// screen without a poller, and closing sends nothing either.
struct OperationFault {
    const char* name;
    POINT button;
    int process;
    const char* mode;
    const char* body;
};

void PrintTo(const OperationFault& c, std::ostream* os) {
    *os << c.name;
}

class OperationFails : public TransactionTest, public ::testing::WithParamInterface<OperationFault> {};

TEST_P(OperationFails, MessageAndNoPoller) {
    const OperationFault& c = GetParam();
    ASSERT_TRUE(sim.ArmFault(kOperationPath, c.mode, c.body));
    EXPECT_EQ(Start(c.button, L"100"), nullptr) << "the message comes before the dialog shows";
    EXPECT_EQ(app.TakeMessageBox(), kNetworkFailed);
    HWND dialog = TransactionDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(StaysQuiet(1000)) << "no poller";
    EXPECT_EQ(Requests(), (std::vector<std::string>{OperationTarget(c.process, "100", "5")}));

    // The waiting screen; a give shows the coins of the last successful give: none in this run.
    const bool give = c.process == kProcessGive;
    EXPECT_EQ(gui::IsControlVisible(dialog, kPhoneEdit), give);
    EXPECT_FALSE(gui::IsControlVisible(dialog, IDOK));
    ExpectedScreen waiting(exe, IDB_WAITING);
    ASSERT_TRUE(waiting.Valid());
    DrawWaiting(waiting, give ? std::optional<int>(0) : std::nullopt);
    EXPECT_TRUE(ShowsScreen(dialog, waiting,
                            give ? std::vector<RECT>{ControlRect(dialog, kPhoneEdit)} : std::vector<RECT>{}));

    ASSERT_TRUE(Close(dialog, kEsc));
    EXPECT_TRUE(StaysQuiet(700));
    EXPECT_EQ(Requests().size(), 1u) << "closing sends nothing";
}

INSTANTIATE_TEST_SUITE_P(
    Faults, OperationFails,
    ::testing::Values(OperationFault{"GiveRefused", kGiveButton, kProcessGive, "body", "0</>no"},
                      OperationFault{"GiveUnanswered", kGiveButton, kProcessGive, "refuse", ""},
                      OperationFault{"GiveCutShort", kGiveButton, kProcessGive, "reset&after=0", ""},
                      OperationFault{"PayRefused", kPayButton, kProcessPay, "body", "0</>no"},
                      OperationFault{"PayUnanswered", kPayButton, kProcessPay, "refuse", ""},
                      OperationFault{"CancelRefused", kCancelButton, kProcessCancel, "body", "0</>no"},
                      OperationFault{"CancelCutShort", kCancelButton, kProcessCancel, "reset&after=0", ""}),
    [](const auto& param) { return std::string(param.param.name); });

// Failing get-result exchanges count as not yet completed: no message, polling goes on, and the
// transaction completes once the server answers again.
TEST_F(TransactionTest, FailingPollsKeepPolling) {
    HWND dialog = Start(kGiveButton, L"100");
    ASSERT_NE(dialog, nullptr);
    for (const char* mode : {"refuse", "reset&after=2", "status&code=500"}) {
        SCOPED_TRACE(mode);
        ASSERT_TRUE(sim.ArmFault(kGetResultPath, mode));
        const std::size_t polls = Count(GetResultTarget());
        EXPECT_TRUE(WaitForCount(GetResultTarget(), polls + 3));
        EXPECT_EQ(gui::WaitForMessageBox(app.Pid(), 0), nullptr);
        EXPECT_TRUE(gui::IsControlVisible(dialog, kPhoneEdit)) << "still waiting";
    }
    ASSERT_TRUE(sim.DisarmFault(kGetResultPath));
    ASSERT_TRUE(sim.Confirm(Device()));
    EXPECT_TRUE(WaitForCount(DeleteDataTarget(), 1));
    EXPECT_TRUE(gui::WaitUntil(kGuiWaitMs, [&] { return !gui::IsControlVisible(dialog, kPhoneEdit); }));
    EXPECT_TRUE(Close(dialog, kEsc));
}

// Answers that crawl in a byte at a time: the dialog keeps answering the cashier, and the
// confirmation gets through in the end.
TEST_F(TransactionTest, SlowPollsLeaveTheDialogResponsive) {
    ASSERT_TRUE(sim.ArmFault(kGetResultPath, "slow&chunk=3&ms=200"));
    HWND dialog = Start(kGiveButton, L"100");
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(WaitForCount(GetResultTarget(), 1));
    EXPECT_TRUE(Responds(dialog));
    EXPECT_TRUE(gui::SetDlgItemTextOf(dialog, kPhoneEdit, L"010"));
    EXPECT_EQ(gui::DlgItemTextOf(dialog, kPhoneEdit), L"010");
    ExpectedScreen waiting(exe, IDB_WAITING);
    ASSERT_TRUE(waiting.Valid());
    DrawWaiting(waiting, 1500);
    EXPECT_TRUE(ShowsScreen(dialog, waiting, {ControlRect(dialog, kPhoneEdit)}));

    ASSERT_TRUE(sim.Confirm(Device()));
    EXPECT_TRUE(WaitForCount(DeleteDataTarget(), 1, 60000));
    EXPECT_TRUE(gui::WaitUntil(kGuiWaitMs, [&] { return !gui::IsControlVisible(dialog, kPhoneEdit); }));
    EXPECT_TRUE(Close(dialog, kEsc));
}

// A get-result that never answers: the dialog keeps answering the cashier; closing waits for the
// exchange to give up (the receive time-out), then the dialog goes, nothing more is sent, and the
// next transaction runs whole.
TEST_F(TransactionTest, NeverAnsweredPollStillLetsTheDialogClose) {
    ASSERT_TRUE(sim.ArmFault(kGetResultPath, "hang"));
    HWND dialog = Start(kGiveButton, L"100");
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(WaitForCount(GetResultTarget(), 1));
    EXPECT_TRUE(Responds(dialog));
    gui::SetDlgItemTextOf(dialog, kPhoneEdit, L"");
    gui::ClickClient(dialog, kSendButton.x, kSendButton.y);
    EXPECT_EQ(app.TakeMessageBox(), kNoPhone) << "the send image still reacts";
    EXPECT_EQ(Count(GetResultTarget()), 1u) << "the one exchange is still hanging";

    kEsc.close(dialog);
    EXPECT_TRUE(gui::WaitForWindowGone(dialog, 60000));
    EXPECT_TRUE(app.Process().Running());
    // The UI thread sat in the close for the whole time-out; the window manager counts it as hung
    // until it takes its messages again.
    EXPECT_TRUE(gui::WaitUntil(kGuiWaitMs, [&] { return Responds(amountEntry); }))
        << "the amount entry answers again";
    EXPECT_TRUE(IsWindowEnabled(amountEntry));
    EXPECT_TRUE(StaysQuiet());
    EXPECT_EQ(Count(GetResultTarget()), 1u);

    ClearLog();
    dialog = Start(kGiveButton, L"100");
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(WaitForCount(GetResultTarget(), 1));
    ASSERT_TRUE(sim.Confirm(Device()));
    EXPECT_TRUE(WaitForCount(DeleteDataTarget(), 1));
    EXPECT_TRUE(gui::WaitUntil(kGuiWaitMs, [&] { return !gui::IsControlVisible(dialog, kPhoneEdit); }));
    EXPECT_EQ(CollapseRepeats(Requests()),
              (std::vector<std::string>{OperationTarget(kProcessGive, "100", "5"), GetResultTarget(),
                                        DeleteDataTarget()}));
    EXPECT_TRUE(Close(dialog, kEsc));
}

} // namespace

// Faults of quillon-server while a transaction starts and waits: an operation request that the
// server refuses, and get-result exchanges that fail. (Cut, slow and never-answered replies are
// the fault suite's, under tests/windows/faults.)
#include "tests/windows/transaction/TransactionTest.h"

#include "res/resource.h"

namespace {

constexpr char kOperationPath[] = "/android/pcposmilege.php";
constexpr char kGetResultPath[] = "/android/pcposgetmilegeret.php";

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
                      OperationFault{"PayRefused", kPayButton, kProcessPay, "body", "0</>no"},
                      OperationFault{"CancelRefused", kCancelButton, kProcessCancel, "body", "0</>no"}),
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

} // namespace

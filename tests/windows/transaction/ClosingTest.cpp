// Closing the transaction dialog at every stage and in every way: it goes, the poller stops after
// at most the exchange in flight, closing itself sends nothing, and nothing of a closed
// transaction reaches the next one, also after 200 quick cycles.
#include "tests/windows/transaction/TransactionTest.h"

#include "res/resource.h"

#include <tuple>

namespace {

constexpr char kOperationPath[] = "/android/pcposmilege.php";
constexpr char kGetResultPath[] = "/android/pcposgetmilegeret.php";

enum class Stage {
    Request,    // the give request is still on its way (the server delays its answer)
    Exchange,   // a get-result exchange is in flight (the server delays its answers)
    Pause,      // the poller pauses between two exchanges
    Completed,  // the customer has confirmed; the result screen is up
    FailedGive, // the server refused the give: no poller
};

struct StageCase {
    const char* name;
    Stage stage;
};

void PrintTo(const StageCase& c, std::ostream* os) {
    *os << c.name;
}

using CloseCase = std::tuple<StageCase, CloseWay>;

class CloseAtStage : public TransactionTest, public ::testing::WithParamInterface<CloseCase> {};

TEST_P(CloseAtStage, DialogGoesAndNothingFollows) {
    const auto& [stageCase, way] = GetParam();
    const Stage stage = stageCase.stage;
    if (stage == Stage::Request) {
        ASSERT_TRUE(sim.ArmFault(kOperationPath, "delay&ms=1500"));
    } else if (stage == Stage::Exchange) {
        ASSERT_TRUE(sim.ArmFault(kGetResultPath, "delay&ms=1000"));
    } else if (stage == Stage::FailedGive) {
        ASSERT_TRUE(sim.ArmFault(kOperationPath, "body", "0</>no"));
    }
    gui::SetDlgItemTextOf(amountEntry, kAmountEdit, L"100");
    gui::ClickClient(amountEntry, kGiveButton.x, kGiveButton.y);
    const std::string give = OperationTarget(kProcessGive, "100", "5");

    HWND dialog = nullptr;
    switch (stage) {
    case Stage::Request:
        ASSERT_TRUE(WaitForCount(give, 1));
        dialog = TransactionWindowOfAnyState();
        ASSERT_NE(dialog, nullptr);
        EXPECT_FALSE(IsWindowVisible(dialog)) << "the dialog shows once its request is answered";
        break;
    case Stage::Exchange:
    case Stage::Pause:
        dialog = TransactionDialog();
        ASSERT_NE(dialog, nullptr);
        ASSERT_TRUE(WaitForCount(GetResultTarget(), stage == Stage::Pause ? 2 : 1));
        break;
    case Stage::Completed:
        dialog = TransactionDialog();
        ASSERT_NE(dialog, nullptr);
        ASSERT_TRUE(WaitForCount(GetResultTarget(), 1));
        ASSERT_TRUE(sim.Confirm(Device()));
        ASSERT_TRUE(WaitForCount(DeleteDataTarget(), 1));
        ASSERT_TRUE(gui::WaitUntil(kGuiWaitMs, [&] { return !gui::IsControlVisible(dialog, kPhoneEdit); }));
        break;
    case Stage::FailedGive:
        EXPECT_EQ(app.TakeMessageBox(), kNetworkFailed);
        dialog = TransactionDialog();
        ASSERT_NE(dialog, nullptr);
        break;
    }
    const std::size_t pollsAtClose = Count(GetResultTarget());
    way.close(dialog);
    // Destroyed, not merely hidden: during its request the dialog has not been shown yet.
    ASSERT_TRUE(gui::WaitUntil(kGuiWaitMs, [&] { return !IsWindow(dialog); }));
    EXPECT_TRUE(StaysQuiet()) << "the poller has stopped";
    EXPECT_TRUE(IsWindowEnabled(amountEntry));
    EXPECT_TRUE(app.Process().Running());

    // At most the exchange in flight (or the first, when the close came during the request); none
    // where no poller ran or it had ended.
    const std::size_t polls = Count(GetResultTarget());
    if (stage == Stage::Completed || stage == Stage::FailedGive) {
        EXPECT_EQ(polls, pollsAtClose);
    } else {
        EXPECT_LE(polls, pollsAtClose + 1);
    }
    // Closing sends nothing of its own: no repeated give, no cancel notice, nothing else.
    for (const auto& target : Requests())
        EXPECT_TRUE(target == give || target == GetResultTarget() || target == DeleteDataTarget()) << target;
    EXPECT_EQ(Count(give), 1u);
    EXPECT_EQ(Count(DeleteDataTarget()), stage == Stage::Completed ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    StagesAndWays, CloseAtStage,
    ::testing::Combine(::testing::Values(StageCase{"DuringTheRequest", Stage::Request},
                                         StageCase{"DuringAnExchange", Stage::Exchange},
                                         StageCase{"DuringThePause", Stage::Pause},
                                         StageCase{"AfterCompletion", Stage::Completed},
                                         StageCase{"AfterAFailedGive", Stage::FailedGive}),
                       ::testing::Values(kEsc, kEnter, kCloseBox)),
    [](const auto& param) {
        return std::string(std::get<0>(param.param).name) + "_" + std::get<1>(param.param).name;
    });

// The customer confirms just as the cashier closes: the completion that the exchange in flight
// brings back belongs to a closed transaction and is dropped (no delete-data, no result screen),
// and the next transaction shows and waits for its own.
TEST_F(TransactionTest, CompletionArrivingWhileClosingIsNotCarriedOver) {
    ASSERT_TRUE(sim.ArmFault(kGetResultPath, "delay&ms=1500"));
    HWND dialog = Start(kGiveButton, L"100");
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(WaitForCount(GetResultTarget(), 1));
    ASSERT_TRUE(sim.Confirm(Device()));
    // The next exchange is answered from the confirmed books, and delayed: close while it flies.
    ASSERT_TRUE(WaitForCount(GetResultTarget(), 2));
    ASSERT_TRUE(Close(dialog, kEsc));
    EXPECT_TRUE(StaysQuiet());
    EXPECT_EQ(Count(DeleteDataTarget()), 0u) << "the completion of a closed transaction is not acted on";

    const auto account = OperateElsewhere(kProcessGive, "1", "0");
    ASSERT_TRUE(account);
    ClearLog();
    dialog = Start(kPayButton, L"100");
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(WaitForCount(GetResultTarget(), 3));
    EXPECT_EQ(Count(DeleteDataTarget()), 0u) << "still waiting for the customer";
    ExpectedScreen waiting(exe, IDB_WAITING);
    ASSERT_TRUE(waiting.Valid());
    DrawWaiting(waiting, std::nullopt);
    EXPECT_TRUE(ShowsScreen(dialog, waiting)) << "a pay's waiting screen: no coin line, no phone field";

    ASSERT_TRUE(sim.Confirm(Device()));
    ASSERT_TRUE(WaitForCount(DeleteDataTarget(), 1));
    const auto d = Decimal;
    const Account& a = *account;
    ExpectedScreen result(exe, IDB_PAY_DONE);
    ASSERT_TRUE(result.Valid());
    DrawResult(result, {a.name, d(a.visits + 1), L"100", L"100", L"0", L"100", d(a.given), d(a.sales + 100),
                        d(a.used + 100)});
    EXPECT_TRUE(ShowsScreen(dialog, result));
    EXPECT_EQ(CollapseRepeats(Requests()), (std::vector<std::string>{OperationTarget(kProcessPay, "100", "5"),
                                                                     GetResultTarget(), DeleteDataTarget()}));
    EXPECT_TRUE(Close(dialog, kEnter));
}

// Open and close the dialog 200 times while it polls, every way in turn. Each close leaves at most
// the exchange in flight behind it; the program survives, and a transaction afterwards is whole.
TEST_F(TransactionTest, TwoHundredCyclesWhilePolling) {
    const CloseWay ways[] = {kEsc, kEnter, kCloseBox};
    gui::SetDlgItemTextOf(amountEntry, kAmountEdit, L"100");
    std::size_t logAtClose = 0;
    for (int cycle = 0; cycle < 200; ++cycle) {
        SCOPED_TRACE(::testing::Message() << "cycle " << cycle);
        const auto before = Requests();
        if (cycle > 0) {
            ASSERT_LE(before.size(), logAtClose + 1) << "more than the exchange in flight after a close";
            for (std::size_t i = logAtClose; i < before.size(); ++i)
                ASSERT_EQ(before[i], GetResultTarget());
        }
        gui::ClickClient(amountEntry, kGiveButton.x, kGiveButton.y);
        HWND dialog = TransactionDialog();
        ASSERT_NE(dialog, nullptr);
        // Polling: the give and at least one get-result of this cycle have arrived.
        ASSERT_TRUE(gui::WaitUntil(kGuiWaitMs, [&] {
            const auto now = Requests();
            return now.size() >= before.size() + 2 && now.back() == GetResultTarget();
        }));
        logAtClose = Requests().size();
        ASSERT_TRUE(Close(dialog, ways[cycle % 3]));
    }
    EXPECT_TRUE(StaysQuiet());
    EXPECT_LE(Requests().size(), logAtClose + 1);
    EXPECT_EQ(Count(OperationTarget(kProcessGive, "100", "5")), 200u);
    EXPECT_EQ(Count(DeleteDataTarget()), 0u);
    ASSERT_TRUE(app.Process().Running());

    // A whole give after all that: its waiting screen, its completion, its result lines.
    const auto account = OperateElsewhere(kProcessGive, "1", "0");
    ASSERT_TRUE(account);
    ClearLog();
    HWND dialog = Start(kGiveButton, L"2000");
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(WaitForCount(GetResultTarget(), 1));
    ExpectedScreen waiting(exe, IDB_WAITING);
    ASSERT_TRUE(waiting.Valid());
    DrawWaiting(waiting, 1500);
    EXPECT_TRUE(ShowsScreen(dialog, waiting, {ControlRect(dialog, kPhoneEdit)}));
    ASSERT_TRUE(sim.Confirm(Device()));
    ASSERT_TRUE(WaitForCount(DeleteDataTarget(), 1));
    const auto d = Decimal;
    const Account& a = *account;
    ExpectedScreen result(exe, IDB_GIVE_DONE);
    ASSERT_TRUE(result.Valid());
    DrawResult(result,
               {a.name, d(a.visits + 1), L"2000", L"100", d(a.sales + 2000), d(a.given + 100), d(a.used)});
    EXPECT_TRUE(ShowsScreen(dialog, result));
    EXPECT_EQ(CollapseRepeats(Requests()),
              (std::vector<std::string>{OperationTarget(kProcessGive, "2000", "5"), GetResultTarget(),
                                        DeleteDataTarget()}));
    EXPECT_TRUE(Close(dialog, kEsc));
}

} // namespace

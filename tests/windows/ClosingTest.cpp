// Closing the transaction dialog at every stage and in every way. One row: the fault armed before
// the operation starts, the stage at which the cashier closes, the ways tried, and what must hold
// after the close: the dialog is destroyed, at most the exchange in flight follows it, closing
// sends nothing of its own, and the next transaction is whole.
#include "tests/windows/TillTest.h"

#include <cstdio>
#include <tuple>

namespace {

enum class Stage {
    Request,   // the operation request is on its way; the dialog is not shown yet
    Exchange,  // a get-result exchange is in flight
    Pause,     // the poller pauses between two exchanges
    Completed, // the customer has confirmed; the result screen is up
    Failed,    // the operation was refused: no poller
    HungPoll,  // a get-result exchange is stalled by the fault (armed once polling runs), or by
               // a port that drops connects (no fault: /sim/blackhole)
};

struct CloseRow {
    const char* name;
    const char* path; // where the fault is armed (nullptr: none)
    const char* fault;
    Stage stage;
    int pollsAfterClose; // get-result requests that may still arrive after the close
    std::vector<const CloseWay*> ways = {&kEsc, &kEnter, &kCloseBox};
};

const CloseRow kCloseRows[] = {
    {"DuringTheRequest", kOperationPath.c_str(), "delay&ms=1500", Stage::Request, 1},
    {"DuringAnExchange", kResultPath.c_str(), "delay&ms=1000", Stage::Exchange, 1},
    {"DuringThePause", nullptr, nullptr, Stage::Pause, 1},
    {"AfterCompletion", nullptr, nullptr, Stage::Completed, 0},
    {"AfterARefusedGive", kOperationPath.c_str(), "body", Stage::Failed, 0},
    {"DuringAHungPoll", kResultPath.c_str(), "hang", Stage::HungPoll, 0},
    {"DuringATricklingPoll", kResultPath.c_str(), "trickle&chunk=1&ms=400", Stage::HungPoll, 0},
    // The connect in flight completes once the port takes connections again; its poll, given up
    // with its transaction, is never written.
    {"DuringABlackHoledConnect", nullptr, nullptr, Stage::HungPoll, 0, {&kEsc, &kCloseBox}},
};

using CloseCase = std::tuple<const CloseRow*, const CloseWay*>;

std::vector<CloseCase> CloseCases() {
    std::vector<CloseCase> cases;
    for (const CloseRow& row : kCloseRows)
        for (const CloseWay* way : row.ways)
            cases.emplace_back(&row, way);
    return cases;
}

class CloseAt : public TillTest, public ::testing::WithParamInterface<CloseCase> {};

TEST_P(CloseAt, DialogGoesNothingFollowsAndTheNextTransactionIsWhole) {
    const auto [row, way] = GetParam();
    const bool blackHole = row->stage == Stage::HungPoll && !row->fault;
    ASSERT_TRUE(OpenAmountEntry());
    if (row->path && row->stage != Stage::HungPoll) {
        ASSERT_TRUE(sim.ArmFault(row->path, row->fault, "0</>no"));
    }
    gui::SetDlgItemTextOf(amountEntry, IDC_AMOUNT_EDIT, L"100");
    ClickCentre(amountEntry, kGiveButtonRect);
    if (row->stage == Stage::Request) {
        ASSERT_TRUE(WaitForSent(kGiveTemplate, 1));
    } else if (row->stage == Stage::Failed) {
        EXPECT_EQ(TakeMessageBox(), kNetworkFailed);
    }
    HWND dialog = TransactionDialog(true);
    ASSERT_NE(dialog, nullptr);
    if (row->stage == Stage::Request) {
        EXPECT_FALSE(IsWindowVisible(dialog)) << "the dialog shows once its request is answered";
    } else if (row->stage != Stage::Failed) {
        ASSERT_TRUE(WaitForSent(kGetResultTemplate, row->stage == Stage::Pause ? 2 : 1));
    }
    if (row->stage == Stage::Completed) {
        ASSERT_TRUE(sim.Confirm(Device()));
        ASSERT_TRUE(WaitForSent(kDeleteDataTemplate, 1));
        ASSERT_TRUE(gui::WaitUntil(kWaitMs, [&] { return !gui::IsControlVisible(dialog, IDC_PHONE_EDIT); }));
    } else if (row->stage == Stage::HungPoll && row->fault) {
        ASSERT_TRUE(sim.ArmFault(row->path, row->fault));
        ASSERT_TRUE(WaitForSent(kGetResultTemplate, Sent(kGetResultTemplate) + 1)) << "the next poll stalls";
    }
    const int pollsAtClose = Sent(kGetResultTemplate);
    if (blackHole) {
        ASSERT_EQ(sim.Post("/sim/blackhole?ms=2000").body, "1");
        ASSERT_TRUE(WaitForUnansweredConnect()) << "the next poll never started its connect";
    }
    // A close never waits on the network, whatever the poll in flight is doing.
    const DWORD closing = GetTickCount(), limit = row->stage == Stage::HungPoll ? 500 : kWaitMs;
    ASSERT_TRUE(Close(dialog, *way, limit)) << "destroyed, not merely hidden";
    std::printf("closed %s %s in %lu ms\n", row->name, way->name, GetTickCount() - closing);
    // A black-holed connect completes at the kernel's next SYN retry, 3 s after it began.
    EXPECT_TRUE(StaysQuiet(blackHole ? 5000 : 1500)) << "the poller has stopped";
    EXPECT_TRUE(WaitUntilResponsive(amountEntry));
    EXPECT_TRUE(IsWindowEnabled(amountEntry));
    EXPECT_LE(Sent(kGetResultTemplate), pollsAtClose + row->pollsAfterClose);
    const std::string operation = OperationTarget(kGive, "100");
    for (const auto& target : sim.RequestTargets())
        EXPECT_TRUE(target == operation || target == GetResultTarget() || target == DeleteDataTarget())
            << "closing sends nothing of its own: " << target;
    EXPECT_EQ(Sent(kDeleteDataTemplate), row->stage == Stage::Completed ? 1 : 0);
    ExpectNothingSentTwice(1);
    ExpectQuietAndRunning();

    // Nothing of the closed transaction reaches the next one, and its request goes out at once,
    // though a stalled poll of the closed one may still be blocked in the network.
    ASSERT_TRUE(sim.Reset());
    const DWORD started = GetTickCount();
    ASSERT_NE(dialog = Start(kPay, L"200"), nullptr);
    EXPECT_LT(GetTickCount() - started, 3000u) << "the next operation waited for the closed transaction";
    ASSERT_TRUE(WaitForSent(kGetResultTemplate, 1));
    EXPECT_TRUE(Shows(dialog, Waiting(kPay)));
    ASSERT_TRUE(sim.Confirm(Device()));
    ASSERT_TRUE(WaitForSent(kDeleteDataTemplate, 1));
    EXPECT_EQ(LinesDrawn(dialog, kPay), kPay.lines);
    EXPECT_EQ(CollapsedLog(), (std::vector<std::string>{OperationTarget(kPay, "200"), GetResultTarget(),
                                                        DeleteDataTarget()}));
    EXPECT_TRUE(Close(dialog, kEnter));
}

INSTANTIATE_TEST_SUITE_P(StagesAndWays, CloseAt, ::testing::ValuesIn(CloseCases()), [](const auto& param) {
    return std::string(std::get<0>(param.param)->name) + "_" + std::get<1>(param.param)->name;
});

} // namespace

// Whole transactions through the real windows: give, pay and cancel confirmed by the customer
// (quillon-server's /sim/confirm), checked by the requests the server received and by the pixels
// of the waiting and result screens; the result lines of replies the test writes itself; and what
// a completed transaction leaves for the next one.
#include "tests/windows/transaction/TransactionTest.h"

#include "res/resource.h"

namespace {

struct FlowCase {
    const char* name;
    POINT button;
    int process;
    int resultPicture;
    int lines;
};

void PrintTo(const FlowCase& c, std::ostream* os) {
    *os << c.name;
}

class Flow : public TransactionTest, public ::testing::WithParamInterface<FlowCase> {};

// The result lines the server's books lead to, from the account as it stood before the operation
// (a cancel: after the payment it cancels).
std::vector<std::wstring> ExpectedLines(int process, const Account& a, long long amount,
                                        long long ratePercent) {
    const auto d = Decimal;
    if (process == kProcessGive) {
        const long long mileage = amount * ratePercent / 100;
        return {a.name,   d(a.visits + 1), d(amount), d(mileage), d(a.sales + amount), d(a.given + mileage),
                d(a.used)};
    }
    if (process == kProcessPay)
        return {a.name,    d(a.visits + 1), d(amount),           d(amount),         L"0",
                d(amount), d(a.given),      d(a.sales + amount), d(a.used + amount)};
    return {a.name,    d(a.visits), d(amount),           d(amount),         L"0",
            d(amount), d(a.given),  d(a.sales - amount), d(a.used - amount)};
}

TEST_P(Flow, ConfirmedByTheCustomer) {
    const FlowCase c = GetParam();
    const bool give = c.process == kProcessGive;
    const long long amount = give ? 15000 : 100;
    // The account the result lines will be computed from; a cancel needs a payment to cancel.
    const auto account = c.process == kProcessCancel ? OperateElsewhere(kProcessPay, "100")
                                                     : OperateElsewhere(kProcessGive, "1", "0");
    ASSERT_TRUE(account);
    ClearLog();

    HWND dialog = Start(c.button, Decimal(amount));
    ASSERT_NE(dialog, nullptr) << "no transaction dialog";
    // From its first showing: the phone field in a give only, never the OK button.
    EXPECT_EQ(gui::IsControlVisible(dialog, kPhoneEdit), give);
    EXPECT_FALSE(gui::IsControlVisible(dialog, IDOK));
    EXPECT_EQ(gui::ClientSize(dialog).cx, 600);
    EXPECT_EQ(gui::ClientSize(dialog).cy, 600);
    ASSERT_TRUE(WaitForCount(GetResultTarget(), 1)) << "no polling";

    // Waiting screen: picture 133, the send picture and, for a give only, the coin line. In a give
    // the phone field is on it (and left out of the comparison: it paints itself).
    {
        ExpectedScreen waiting(exe, IDB_WAITING);
        ASSERT_TRUE(waiting.Valid());
        DrawWaiting(waiting, give ? std::optional<int>(1500) : std::nullopt);
        const std::vector<RECT> phone{ControlRect(dialog, kPhoneEdit)};
        EXPECT_TRUE(ShowsScreen(dialog, waiting, give ? phone : std::vector<RECT>{}));
        const auto pixels = ClientPixels::Capture(dialog);
        ASSERT_TRUE(pixels);
        if (give) {
            EXPECT_GT(DarkPixels(*pixels, kCoinLineArea), 0) << "the coin line";
        } else {
            EXPECT_EQ(DarkPixels(*pixels, kCoinLineArea), 0) << "no coin line";
        }
    }
    EXPECT_EQ(gui::IsControlVisible(dialog, kPhoneEdit), give);

    ASSERT_TRUE(sim.Confirm(Device()));
    ASSERT_TRUE(WaitForCount(DeleteDataTarget(), 1));

    // Result screen: the operation's picture and its lines, read back pixel by pixel.
    {
        ExpectedScreen result(exe, c.resultPicture);
        ASSERT_TRUE(result.Valid());
        const auto lines = ExpectedLines(c.process, *account, amount, 5);
        ASSERT_EQ(static_cast<int>(lines.size()), c.lines);
        DrawResult(result, lines);
        EXPECT_TRUE(ShowsScreen(dialog, result));
        const auto pixels = ClientPixels::Capture(dialog);
        ASSERT_TRUE(pixels);
        for (int n = 0; n < kResultBands; ++n) {
            if (n < c.lines) {
                EXPECT_GT(DarkPixels(*pixels, ResultBand(n)), 0) << "line " << n;
            } else {
                EXPECT_EQ(DarkPixels(*pixels, ResultBand(n)), 0) << "line " << n;
            }
        }
    }
    EXPECT_FALSE(gui::IsControlVisible(dialog, kPhoneEdit));
    EXPECT_FALSE(gui::IsControlVisible(dialog, IDOK));

    const std::string price = std::to_string(amount);
    EXPECT_EQ(CollapseRepeats(Requests()), (std::vector<std::string>{OperationTarget(c.process, price, "5"),
                                                                     GetResultTarget(), DeleteDataTarget()}));
    EXPECT_TRUE(StaysQuiet()) << "polling ended with the completion";

    ASSERT_TRUE(Close(dialog, kEnter));
    EXPECT_TRUE(IsWindowEnabled(amountEntry));
    EXPECT_EQ(CollapseRepeats(Requests()).back(), DeleteDataTarget()) << "closing sends nothing";
}

INSTANTIATE_TEST_SUITE_P(Operations, Flow,
                         ::testing::Values(FlowCase{"Give", kGiveButton, kProcessGive, IDB_GIVE_DONE, 7},
                                           FlowCase{"Pay", kPayButton, kProcessPay, IDB_PAY_DONE, 9},
                                           FlowCase{"Cancel", kCancelButton, kProcessCancel, IDB_CANCEL_DONE,
                                                    9}),
                         [](const auto& param) { return std::string(param.param.name); });

// Replies the test writes itself: the lines are exactly the reply's fields 2 onwards, as many as
// the screen has, whatever else the reply carries.
struct LinesCase {
    const char* name;
    POINT button;
    std::string getResult;  // the get-result reply once the customer has confirmed
    const char* deleteData; // the delete-data reply, nullptr for the server's own
    int resultPicture;
    std::vector<std::wstring> lines; // what the screen shows, line 0 first
};

void PrintTo(const LinesCase& c, std::ostream* os) {
    *os << c.name;
}

class ResultLines : public TransactionTest, public ::testing::WithParamInterface<LinesCase> {};

TEST_P(ResultLines, AreTheReplyFields) {
    const LinesCase& c = GetParam();
    ASSERT_TRUE(sim.ArmFault("/android/pcposgetmilegeret.php", "body", c.getResult));
    if (c.deleteData) {
        ASSERT_TRUE(sim.ArmFault("/android/deleteposdata.php", "body", c.deleteData));
    }
    HWND dialog = Start(c.button, L"100");
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(WaitForCount(DeleteDataTarget(), 1));

    ExpectedScreen result(exe, c.resultPicture);
    ASSERT_TRUE(result.Valid());
    DrawResult(result, c.lines);
    EXPECT_TRUE(ShowsScreen(dialog, result));
    const auto pixels = ClientPixels::Capture(dialog);
    ASSERT_TRUE(pixels);
    for (int n = static_cast<int>(c.lines.size()); n < kResultBands; ++n) {
        EXPECT_EQ(DarkPixels(*pixels, ResultBand(n)), 0) << "line " << n << " is not drawn";
    }
    EXPECT_TRUE(Close(dialog, kEsc));
}

const std::wstring kLongLine(60, L'W'); // runs on past the right edge

INSTANTIATE_TEST_SUITE_P(
    Replies, ResultLines,
    ::testing::Values(LinesCase{"GiveDrawsSevenOfNine",
                                kGiveButton,
                                "1</>11</>홍길동 & Co.</>1</>2</>3</>4</>5</>6</>nine</>ten",
                                nullptr,
                                IDB_GIVE_DONE,
                                {L"홍길동 & Co.", L"1", L"2", L"3", L"4", L"5", L"6"}},
                      LinesCase{"PayDrawsNine",
                                kPayButton,
                                "1</>12</>가</>b</>c</>d</>e</>f</>g</>h</>i</>j",
                                nullptr,
                                IDB_PAY_DONE,
                                {L"가", L"b", L"c", L"d", L"e", L"f", L"g", L"h", L"i"}},
                      LinesCase{"CancelKeepsAnEmptyLine",
                                kCancelButton,
                                "1</>13</>a</></>c</>d</>e</>f</>g</>h</>i",
                                nullptr,
                                IDB_CANCEL_DONE,
                                {L"a", L"", L"c", L"d", L"e", L"f", L"g", L"h", L"i"}},
                      LinesCase{"ALongLineRunsOnToTheEdge",
                                kGiveButton,
                                "1</>11</>" + std::string(60, 'W') + "</>1</>2</>3</>4</>5</>6",
                                nullptr,
                                IDB_GIVE_DONE,
                                {kLongLine, L"1", L"2", L"3", L"4", L"5", L"6"}},
                      LinesCase{"DeleteDataReplyOfOneFieldLeavesTheLines",
                                kGiveButton,
                                "1</>11</>n</>1</>2</>3</>4</>5</>6",
                                "1",
                                IDB_GIVE_DONE,
                                {L"n", L"1", L"2", L"3", L"4", L"5", L"6"}},
                      LinesCase{"DeleteDataReplyOfThreeFieldsTakesLineZero",
                                kGiveButton,
                                "1</>11</>n</>1</>2</>3</>4</>5</>6",
                                "1</>x</>지움",
                                IDB_GIVE_DONE,
                                {L"지움", L"1", L"2", L"3", L"4", L"5", L"6"}}),
    [](const auto& param) { return std::string(param.param.name); });

// Only the completion code of the operation in progress, as a whole field of an accepted reply,
// ends the wait; everything else keeps the waiting screen and the polling.
TEST_F(TransactionTest, OnlyTheOperationsOwnCodeCompletes) {
    HWND dialog = Start(kGiveButton, L"100");
    ASSERT_NE(dialog, nullptr);
    const char* notCompletions[] = {"1</>110</>n", "1</>1</>n",  "1</> 11</>n",
                                    "1</>12</>n",  "1</>13</>n", "0</>11</>n"};
    for (const char* reply : notCompletions) {
        SCOPED_TRACE(reply);
        ASSERT_TRUE(sim.ArmFault("/android/pcposgetmilegeret.php", "body", reply));
        const std::size_t polls = Count(GetResultTarget());
        EXPECT_TRUE(WaitForCount(GetResultTarget(), polls + 3));
        EXPECT_TRUE(gui::IsControlVisible(dialog, kPhoneEdit)) << "still waiting";
        EXPECT_EQ(Count(DeleteDataTarget()), 0u);
    }
    ASSERT_TRUE(sim.ArmFault("/android/pcposgetmilegeret.php", "body", "1</>11</>n</>1</>2</>3</>4</>5</>6"));
    EXPECT_TRUE(WaitForCount(DeleteDataTarget(), 1));
    EXPECT_TRUE(gui::WaitUntil(kGuiWaitMs, [&] { return !gui::IsControlVisible(dialog, kPhoneEdit); }));
    EXPECT_TRUE(Close(dialog, kEsc));
}

// The rate field of the next amount entry shows the rate the cashier confirmed last, not one of
// the result lines that the completed transaction left in the reply table.
TEST_F(TransactionTest, RateFieldShowsTheRateLastUsed) {
    EXPECT_EQ(gui::DlgItemTextOf(amountEntry, kRateEdit), L"5") << "the login's rate";
    const std::wstring rate = L"7";
    HWND dialog = Start(kGiveButton, L"1000", &rate);
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(WaitForCount(GetResultTarget(), 1));
    ASSERT_TRUE(sim.Confirm(Device()));
    ASSERT_TRUE(WaitForCount(DeleteDataTarget(), 1));
    ASSERT_TRUE(gui::WaitUntil(kGuiWaitMs, [&] { return !gui::IsControlVisible(dialog, kPhoneEdit); }));
    ASSERT_TRUE(Close(dialog, kEsc));
    ASSERT_TRUE(Close(amountEntry, kEsc));

    amountEntry = app.OpenAmountEntry();
    ASSERT_NE(amountEntry, nullptr);
    EXPECT_EQ(gui::DlgItemTextOf(amountEntry, kRateEdit), L"7");
    EXPECT_EQ(gui::DlgItemTextOf(amountEntry, kAmountEdit), L"") << "a new opening starts empty";
    // And the next transaction sends it.
    dialog = Start(kPayButton, L"100");
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(WaitForCount(OperationTarget(kProcessPay, "100", "7"), 1));
    EXPECT_TRUE(Close(dialog, kEsc));
}

} // namespace

// Whole transactions through the real windows, one scenario a row: the fault armed on the
// operation request or on the polling, how it completes, and what must hold throughout: the
// message, the waiting and result screens, the requests (nothing twice, nothing after the
// completion; closing is ClosingTest's). Then the amount entry's and the text message's rules.
#include "tests/windows/TillTest.h"

#include <algorithm>
#include <ctime>

namespace {

enum class Completion { None, Customer, Reply };

struct Scenario {
    const char* name;
    const Operation& op;
    const char* operationFault = nullptr; // armed on the operation request before the click
    std::string operationBody = {};       // of fault "body"
    const char* pollFault = nullptr;      // armed once polling runs, with the customer confirmed
    std::string pollBody = {};            // of fault "body"; the fault holds off the completion till disarmed
    Completion completion = Completion::Customer;
    std::vector<std::string> lines = {};  // Completion::Reply: the completing reply's lines
    const char* deleteBody = nullptr;     // the delete-data reply, nullptr for the server's own
    std::vector<std::wstring> shown = {}; // the result lines drawn
};

class Transaction : public TillTest, public ::testing::WithParamInterface<Scenario> {};

TEST_P(Transaction, ShowsSendsAndEndsAsItShould) {
    const Scenario& c = GetParam();
    const bool give = &c.op == &kGive;
    ASSERT_TRUE(OpenAmountEntry());
    if (c.operationFault) {
        ASSERT_TRUE(sim.ArmFault(kOperationPath, c.operationFault, c.operationBody));
    }
    HWND dialog = Start(c.op);
    if (c.completion == Completion::None) {
        // No reply to the operation: the message, the waiting screen with no poller behind it.
        EXPECT_EQ(dialog, nullptr);
        EXPECT_EQ(TakeMessageBox(kPastTimeoutMs), kNetworkFailed);
        ASSERT_NE(dialog = TransactionDialog(true), nullptr);
        // The coin line shows whatever balance the failed give left.
        const RECT coinLine{kCoinLineX, kCoinLineY, Screen::kSize, kCoinLineY + kResultLineStep / 2};
        EXPECT_TRUE(Shows(dialog, Waiting(c.op), {ControlRect(dialog, IDC_PHONE_EDIT), coinLine}));
        EXPECT_TRUE(StaysQuiet(1000));
        EXPECT_EQ(Sent(kGetResultTemplate), 0);
        ExpectQuietAndRunning();
        ASSERT_TRUE(Close(dialog, kEsc));
        // Once the server answers again, the next operation goes through.
        ASSERT_TRUE(sim.DisarmFault(kOperationPath));
        ASSERT_NE(dialog = Start(kGive, L"16000"), nullptr);
        EXPECT_TRUE(WaitForSent(kGetResultTemplate, 1));
        ExpectNothingSentTwice(2);
        EXPECT_TRUE(Close(dialog, kEsc));
        return;
    }
    ASSERT_NE(dialog, nullptr) << "no transaction dialog";
    EXPECT_EQ(gui::ClientSize(dialog).cx, Screen::kSize);
    EXPECT_EQ(gui::IsControlVisible(dialog, IDC_PHONE_EDIT), give) << "the phone field in a give only";
    EXPECT_FALSE(gui::IsControlVisible(dialog, IDOK));
    ASSERT_TRUE(WaitForSent(kGetResultTemplate, 1)) << "no polling";
    EXPECT_TRUE(Shows(dialog, Waiting(c.op), {ControlRect(dialog, IDC_PHONE_EDIT)}));

    if (c.completion == Completion::Reply) {
        std::vector<std::string> reply{"1", c.op.completionCode}; // the completion, lines from field 2
        reply.insert(reply.end(), c.lines.begin(), c.lines.end());
        ASSERT_TRUE(sim.ArmFault(kResultPath, "body", Record(reply)));
        if (c.deleteBody) {
            ASSERT_TRUE(sim.ArmFault(kDeletePath, "body", c.deleteBody));
        }
    } else if (!c.pollFault) {
        ASSERT_TRUE(sim.Confirm(Device()));
    } else {
        ASSERT_TRUE(sim.ArmFault(kResultPath, c.pollFault, c.pollBody));
        ASSERT_TRUE(sim.Confirm(Device()));
        ASSERT_TRUE(WaitForSent(kGetResultTemplate, Sent(kGetResultTemplate) + 3));
        EXPECT_EQ(Sent(kDeleteDataTemplate), 0) << "not a completion";
        EXPECT_TRUE(Shows(dialog, Waiting(c.op), {ControlRect(dialog, IDC_PHONE_EDIT)}));
        ExpectQuietAndRunning();
        ASSERT_TRUE(sim.DisarmFault(kResultPath));
    }
    ASSERT_TRUE(WaitForSent(kDeleteDataTemplate, 1));
    if (c.completion == Completion::Reply) {
        EXPECT_TRUE(Shows(dialog, Result(c.op, c.shown)));
    } else {
        EXPECT_EQ(LinesDrawn(dialog, c.op), c.op.lines);
    }
    EXPECT_FALSE(gui::IsControlVisible(dialog, IDC_PHONE_EDIT));
    EXPECT_TRUE(StaysQuiet()) << "polling ended with the completion";
    EXPECT_EQ(CollapsedLog(), (std::vector<std::string>{OperationTarget(c.op, "15000"), GetResultTarget(),
                                                        DeleteDataTarget()}));
    ASSERT_TRUE(Close(dialog, kEnter));
    ExpectNothingSentTwice(1);
    ExpectQuietAndRunning();
}

const std::string kFiveKilobytes(5 * 1024, 'k');

const Scenario kScenarios[] = {
    {.name = "PayRefusedWithAFiveKilobyteReason", .op = kPay, .operationFault = "body",
     .operationBody = "0</>" + kFiveKilobytes, .completion = Completion::None},
    {.name = "GiveNeverAnswered", .op = kGive, .operationFault = "hang", .completion = Completion::None},
    {.name = "GiveReplyOfFortyFields", .op = kGive, .operationFault = "body",
     .operationBody = Record(std::vector<std::string>(40, "1500"))},
    {.name = "CompletionCutMidBody", .op = kGive, .pollFault = "reset&after=12"},
    // The completion record itself, under status 500: not the operator's answer, not a completion.
    {.name = "CompletionUnderStatus500", .op = kGive, .pollFault = "status&code=500"},
    {.name = "CodeOfAnotherOperation", .op = kGive, .pollFault = "body", .pollBody = "1</>12</>n"},
    {.name = "CodeNotAWholeField", .op = kGive, .pollFault = "body", .pollBody = "1</>110</>n"},
    {.name = "CodeWithABlank", .op = kGive, .pollFault = "body", .pollBody = "1</> 11</>n"},
    {.name = "CodeInARefusal", .op = kGive, .pollFault = "body", .pollBody = "0</>11</>n"},
    {.name = "PayDrawsNine", .op = kPay, .completion = Completion::Reply,
     .lines = {"가", "b", "c", "d", "e", "f", "g", "h", "i", "j"},
     .shown = {L"가", L"b", L"c", L"d", L"e", L"f", L"g", L"h", L"i"}},
    {.name = "CancelKeepsAnEmptyLine", .op = kCancel, .completion = Completion::Reply,
     .lines = {"a", "", "c", "d", "e", "f", "g", "h", "i"},
     .shown = {L"a", L"", L"c", L"d", L"e", L"f", L"g", L"h", L"i"}},
    {.name = "LongLinesAreCutAtNinetyNine", .op = kGive, .completion = Completion::Reply,
     .lines = std::vector<std::string>(7, std::string(120, 'x')),
     .shown = std::vector<std::wstring>(7, std::wstring(99, L'x'))},
    {.name = "GiveDrawsSevenOfNineWithDeleteDataInLineZero", .op = kGive, .completion = Completion::Reply,
     .lines = {"a", "1", "2", "3", "4", "5", "6", "nine", "ten"}, .deleteBody = "1</>x</>홍길동 & Co.",
     .shown = {L"홍길동 & Co.", L"1", L"2", L"3", L"4", L"5", L"6"}},
};

INSTANTIATE_TEST_SUITE_P(Scenarios, Transaction, ::testing::ValuesIn(kScenarios),
                         [](const auto& param) { return std::string(param.param.name); });

const Operation* const kOperations[] = {&kGive, &kPay, &kCancel};

// The amount rule (its table is the unit tests') through the amount entry: a text that reads as 0 is
// refused before anything is sent; anything else is sent exactly as typed, encoded, and only the
// first 79 characters of it.
TEST_F(TillTest, AmountEntryRefusesZeroAndSendsEverythingElseAsTyped) {
    ASSERT_TRUE(OpenAmountEntry());
    ASSERT_EQ(Start(kPay, L"0.00"), nullptr); // all three buttons share the check
    EXPECT_EQ(TakeMessageBox(), kNoAmount);
    EXPECT_EQ(TransactionDialog(), nullptr);
    EXPECT_TRUE(sim.RequestTargets().empty());
    const std::pair<std::wstring, std::string> typed[] = {
        {L" 1,000", "%201%2C000"},
        {L"+7", "%2B7"},
        {L"1" + std::wstring(99, L'0'), "1" + std::string(78, '0')}};
    for (const auto& [amount, sent] : typed) {
        ASSERT_TRUE(sim.Reset());
        EXPECT_EQ(Start(kGive, amount), nullptr) << sent; // the server refuses every one of them
        EXPECT_EQ(TakeMessageBox(), kNetworkFailed);
        HWND dialog = TransactionDialog(true);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(sim.RequestTargets(), std::vector<std::string>{OperationTarget(kGive, sent)});
        ASSERT_TRUE(Close(dialog, kEsc));
    }
}

// The amount entry keeps its texts for the next operation, is disabled while one runs, sends the
// rate typed last, and refuses a request whose URL would pass its 499 characters. It reopens with
// the rate in use, the one the cashier confirmed last, never with a field that the last reply
// happened to carry in that place (a give's result line 2 is its sales). The send image acts on a
// give's waiting screen only, never on a pay's or a cancel's.
TEST_F(TillTest, AmountEntryTextsCarryOverAndALongUrlIsRefused) {
    ASSERT_TRUE(OpenAmountEntry());
    EXPECT_EQ(gui::DlgItemTextOf(amountEntry, IDC_RATE_EDIT), L"5") << "the login's rate";
    const std::wstring rate = L"3";
    for (const Operation* op : kOperations) {
        HWND dialog = Start(*op, L"2500", op == &kGive ? &rate : nullptr);
        ASSERT_NE(dialog, nullptr);
        EXPECT_FALSE(IsWindowEnabled(amountEntry));
        if (op != &kGive) {
            ClickCentre(dialog, kSendButtonRect);
            EXPECT_EQ(gui::WaitForMessageBox(app.Id(), 1000), nullptr) << op->name;
        }
        ASSERT_TRUE(Close(dialog, kEsc));
        EXPECT_EQ(gui::DlgItemTextOf(amountEntry, IDC_RATE_EDIT), L"3");
    }
    const auto log = sim.RequestTargets();
    EXPECT_EQ(Sent(kGiveTemplate), 3);
    EXPECT_EQ(Sent(kTextMessageTemplate), 0);
    for (const Operation* op : kOperations)
        EXPECT_EQ(std::count(log.begin(), log.end(), OperationTarget(*op, "2500", "3")), 1);
    HWND dialog = Start(kGive);
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(WaitForSent(kGetResultTemplate, 1));
    ASSERT_TRUE(sim.Confirm(Device()));
    ASSERT_TRUE(WaitForSent(kDeleteDataTemplate, 1));
    ASSERT_EQ(LinesDrawn(dialog, kGive), kGive.lines);
    ASSERT_TRUE(Close(dialog, kEnter));
    ASSERT_TRUE(WaitUntilResponsive(amountEntry));
    ASSERT_TRUE(Close(amountEntry, kEsc));
    ASSERT_TRUE(OpenAmountEntry());
    EXPECT_EQ(gui::DlgItemTextOf(amountEntry, IDC_RATE_EDIT), L"3");

    // Korean text takes nine characters once encoded: the longest rate that fits is sent, one
    // character more is refused with nothing sent.
    const std::size_t fixed = 7 + sim.HostPort().size() + OperationTarget(kPay, "100", "").size();
    std::wstring longest(std::min<std::size_t>((499 - fixed) / 9, 79), L'가');
    longest +=
        std::wstring(std::min<std::size_t>(499 - fixed - longest.size() * 9, 79 - longest.size()), L'x');
    ASSERT_TRUE(sim.Reset());
    const std::wstring tooLong = longest + L"x";
    EXPECT_EQ(Start(kPay, L"100", &tooLong), nullptr);
    EXPECT_EQ(TakeMessageBox(), kInputTooLong);
    ASSERT_TRUE(Close(TransactionDialog(true), kEsc));
    EXPECT_TRUE(sim.RequestTargets().empty());
    dialog = Start(kPay, L"100", &longest);
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(WaitForSent(kGetResultTemplate, 1));
    EXPECT_EQ(7 + sim.HostPort().size() + sim.RequestTargets().front().size(), 499u);
    ASSERT_TRUE(Close(dialog, kEsc));
}

// The text message of a give, from its waiting screen's send image.
struct TextCase {
    const char* name;
    const char* coins;
    std::wstring phone;
    const char* refusal; // the text-message reply, nullptr for the server's own
    const wchar_t* message;
    bool sent; // the server's outbox holds it and the dialog closes with the box
};

class TextMessage : public TillTest, public ::testing::WithParamInterface<TextCase> {};

TEST_P(TextMessage, IsRefusedSentOrFailsAsItShould) {
    const TextCase& c = GetParam();
    ASSERT_TRUE(sim.SetShop("demo", std::string("coins=") + c.coins));
    ASSERT_TRUE(OpenAmountEntry());
    HWND dialog = Start(kGive);
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(WaitForSent(kGetResultTemplate, 1));
    ASSERT_TRUE(Shows(dialog, Waiting(kGive, std::atoi(c.coins)), {ControlRect(dialog, IDC_PHONE_EDIT)}))
        << "the give reply's coins";
    if (c.refusal) {
        ASSERT_TRUE(sim.ArmFault(kTextPath, "body", c.refusal));
    }
    if (c.sent) { // a get-result reply that says "not yet", with lines beside it
        ASSERT_TRUE(sim.ArmFault(kResultPath, "body", "1</>0</>홍길동</>1</>2</>3</>4</>5</>6"));
        ASSERT_TRUE(WaitForSent(kGetResultTemplate, Sent(kGetResultTemplate) + 2));
    }
    const long long before = std::time(nullptr);
    gui::SetDlgItemTextOf(dialog, IDC_PHONE_EDIT, c.phone);
    ClickCentre(dialog, kSendButtonRect);
    if (c.sent) {
        // Behind the box the give shows as sent: its picture, and no lines that no confirmation
        // of this give brought.
        HWND box = gui::WaitForMessageBox(app.Id(), kWaitMs);
        ASSERT_NE(box, nullptr);
        EXPECT_TRUE(Shows(dialog, Result(kGive, {}), {RectIn(dialog, box)}));
    }
    EXPECT_EQ(TakeMessageBox(), c.message);
    const auto outbox = sim.SmsOutbox();
    if (c.sent) {
        EXPECT_TRUE(gui::WaitForWindowGone(dialog, kWaitMs)) << "dismissing the box closes the dialog";
        ASSERT_EQ(outbox.size(), 1u);
        EXPECT_EQ(outbox[0],
                  (std::vector<std::string>{Device(), Narrow(c.phone), "15000", "5", outbox[0].back()}));
        EXPECT_GE(std::stoll(outbox[0].back()), before) << "the mark tag is the time in seconds";
        EXPECT_LE(std::stoll(outbox[0].back()), static_cast<long long>(std::time(nullptr)));
        EXPECT_TRUE(StaysQuiet()) << "no poll after the message";
        EXPECT_EQ(CollapsedLog().size(), 3u);
        return;
    }
    if (!c.refusal) {
        EXPECT_TRUE(outbox.empty()); // a faulty answer may come after the server booked it
    }
    EXPECT_EQ(Sent(kTextMessageTemplate), c.refusal ? 1 : 0) << "a refusal before sending sends nothing";
    const int polls = Sent(kGetResultTemplate);
    EXPECT_TRUE(WaitForSent(kGetResultTemplate, polls + 2)) << "polling goes on";
    ASSERT_TRUE(sim.DisarmFault(kTextPath));
    ASSERT_TRUE(sim.Confirm(Device()));
    EXPECT_TRUE(WaitForSent(kDeleteDataTemplate, 1));
    EXPECT_TRUE(Close(dialog, kEnter));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TextMessage,
    ::testing::Values(
        TextCase{"SentAsTyped", "1500", L"010 & 한글+#%=?", nullptr, kTextMessageSent, true},
        TextCase{"NoCoins", "0", L"010-1234-5678", nullptr, kNoCoins, false},
        TextCase{"NegativeCoins", "-5", L"010-1234-5678", nullptr, kNoCoins, false},
        TextCase{"NoPhone", "1500", L"", nullptr, kNoPhone, false},
        TextCase{"PhoneTooLongForTheUrl", "1500", std::wstring(400, L'1'), nullptr, kPhoneTooLong, false},
        TextCase{"RefusalReply", "1500", L"010-1234-5678", "0</>no", kNetworkFailed, false}),
    [](const auto& param) { return std::string(param.param.name); });

} // namespace

// The amount-entry dialog in the real program: which amounts start a transaction and what is sent
// for them, where its image buttons begin and end, the Enter key, repeated transactions, and the
// request that no longer fits its URL.
#include "tests/windows/transaction/TransactionTest.h"

namespace {

constexpr POINT kButtons[] = {kGiveButton, kPayButton, kCancelButton};

// Texts that do not read as a number other than 0, after single-precision narrowing: the message,
// no transaction dialog, nothing sent. Each goes through all three image buttons.
TEST_F(TransactionTest, AmountThatReadsAsZeroIsRefused) {
    const wchar_t* refused[] = {L"",  L" ",  L"0",    L"0.00", L"abc", L"1e-50", L"-0",  L".",
                                L"+", L"e5", L"0x10", L"inf",  L"nan", L"\t0",   L"-.e3"};
    for (const wchar_t* amount : refused) {
        for (POINT button : kButtons) {
            SCOPED_TRACE(::testing::Message()
                         << "amount \"" << amount << "\" at " << button.x << "," << button.y);
            ASSERT_EQ(Start(button, amount), nullptr);
            EXPECT_EQ(app.TakeMessageBox(), kNoAmount);
            EXPECT_EQ(app.FindTransactionDialog(), nullptr);
            EXPECT_TRUE(IsWindowEnabled(amountEntry));
        }
    }
    EXPECT_TRUE(Requests().empty());
}

// Everything else goes on and is sent exactly as typed (encoded), not as the number it reads as.
// The server refuses all of these amounts, so each ends on the refusal message without polling.
struct TypedAmount {
    std::wstring typed;
    std::string sent;
};

TEST_F(TransactionTest, AmountIsSentAsTyped) {
    const TypedAmount amounts[] = {
        {L"-500", "-500"},
        {L"12abc", "12abc"},
        {L" 1,000", "%201%2C000"},
        {L"1e-40", "1e-40"}, // a denormal in single precision, not 0
        {L"+7", "%2B7"},
        {L".5", ".5"},
        {L"1e", "1e"},
        {L"3원", "3%EC%9B%90"},
        {L"1" + std::wstring(99, L'0'), "1" + std::string(78, '0')}, // only 79 characters are read
    };
    for (const auto& amount : amounts) {
        SCOPED_TRACE(amount.sent);
        ClearLog();
        EXPECT_EQ(Start(kGiveButton, amount.typed), nullptr) << "the refusal comes before the dialog shows";
        EXPECT_EQ(app.TakeMessageBox(), kNetworkFailed);
        HWND dialog = TransactionDialog();
        ASSERT_NE(dialog, nullptr);
        EXPECT_TRUE(StaysQuiet(700)) << "no poller after a refusal";
        EXPECT_EQ(Requests(), (std::vector<std::string>{OperationTarget(kProcessGive, amount.sent, "5")}));
        ASSERT_TRUE(Close(dialog, kEsc));
    }
}

// A click starts an operation only inside its image button: right and bottom edges are outside,
// and the two rows between the buttons belong to none.
struct HitCase {
    POINT point;
    int process; // 0: nothing
};

TEST_F(TransactionTest, ImageButtonEdges) {
    const HitCase cases[] = {
        {{20, 296}, kProcessGive},
        {{572, 377}, kProcessGive},
        {{300, 378}, 0},
        {{300, 379}, 0},
        {{300, 380}, kProcessPay},
        {{572, 461}, kProcessPay},
        {{300, 462}, 0},
        {{300, 463}, 0},
        {{20, 464}, kProcessCancel},
        {{572, 545}, kProcessCancel},
        {{300, 546}, 0},
        {{573, 330}, 0},
        {{19, 330}, 0},
        {{300, 295}, 0},
    };
    gui::SetDlgItemTextOf(amountEntry, kAmountEdit, L"100");
    for (const HitCase& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.point.x << "," << c.point.y);
        ClearLog();
        gui::ClickClient(amountEntry, c.point.x, c.point.y);
        // A miss is followed by a click on the give button: had the miss started anything, it
        // would come first (the clicks are handled in order).
        if (c.process == 0)
            gui::ClickClient(amountEntry, kGiveButton.x, kGiveButton.y);
        HWND dialog = TransactionDialog();
        ASSERT_NE(dialog, nullptr);
        const int expected = c.process == 0 ? kProcessGive : c.process;
        ASSERT_TRUE(WaitForCount(OperationTarget(expected, "100", "5"), 1));
        ASSERT_TRUE(Close(dialog, kEsc));
        const auto operations = TargetsStartingWith(sim, "/android/pcposmilege.php");
        EXPECT_EQ(operations, (std::vector<std::string>{OperationTarget(expected, "100", "5")}));
    }
}

TEST_F(TransactionTest, EnterClosesTheAmountEntryWithoutATransaction) {
    gui::SetDlgItemTextOf(amountEntry, kAmountEdit, L"100");
    gui::PressKey(GetDlgItem(amountEntry, kAmountEdit), VK_RETURN);
    EXPECT_TRUE(gui::WaitForWindowGone(amountEntry, kGuiWaitMs));
    EXPECT_TRUE(StaysQuiet(700));
    EXPECT_TRUE(Requests().empty());
    EXPECT_EQ(app.FindTransactionDialog(), nullptr);
    EXPECT_TRUE(app.Process().Running());
    EXPECT_NE(app.OpenAmountEntry(), nullptr) << "the launcher opens it again";
}

// After a transaction the texts stay as typed and every image button runs another transaction
// with them; while a transaction runs, the amount entry is disabled.
TEST_F(TransactionTest, FurtherTransactionsUseTheSameTexts) {
    const std::wstring rate = L"3";
    HWND dialog = Start(kGiveButton, L"2500", &rate);
    ASSERT_NE(dialog, nullptr);
    EXPECT_FALSE(IsWindowEnabled(amountEntry));
    ASSERT_TRUE(Close(dialog, kEsc));
    EXPECT_TRUE(IsWindowEnabled(amountEntry));

    for (POINT button : kButtons) {
        EXPECT_EQ(gui::DlgItemTextOf(amountEntry, kAmountEdit), L"2500");
        EXPECT_EQ(gui::DlgItemTextOf(amountEntry, kRateEdit), L"3");
        gui::ClickClient(amountEntry, button.x, button.y);
        dialog = TransactionDialog();
        ASSERT_NE(dialog, nullptr);
        EXPECT_FALSE(IsWindowEnabled(amountEntry));
        ASSERT_TRUE(Close(dialog, kEsc));
        EXPECT_TRUE(IsWindowEnabled(amountEntry));
    }
    EXPECT_EQ(TargetsStartingWith(sim, "/android/pcposmilege.php"),
              (std::vector<std::string>{
                  OperationTarget(kProcessGive, "2500", "3"), OperationTarget(kProcessGive, "2500", "3"),
                  OperationTarget(kProcessPay, "2500", "3"), OperationTarget(kProcessCancel, "2500", "3")}));
}

// A request URL holds 499 characters. Korean text takes nine once encoded, so a rate or an
// amount typed in Korean can overflow it: the message, nothing sent, no poller.
TEST_F(TransactionTest, RequestThatDoesNotFitIsNotSent) {
    const std::wstring rate79(79, L'가');
    ASSERT_EQ(Start(kPayButton, L"100", &rate79), nullptr);
    EXPECT_EQ(app.TakeMessageBox(), kInputTooLong);
    HWND dialog = TransactionDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(StaysQuiet(700));
    EXPECT_TRUE(Requests().empty());
    ASSERT_TRUE(Close(dialog, kEsc));

    const std::wstring rate5 = L"5";
    ASSERT_EQ(Start(kGiveButton, L"1" + std::wstring(78, L'가'), &rate5), nullptr);
    EXPECT_EQ(app.TakeMessageBox(), kInputTooLong);
    dialog = TransactionDialog();
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(Close(dialog, kEsc));
    EXPECT_TRUE(StaysQuiet(700));
    EXPECT_TRUE(Requests().empty()) << "closing sends nothing either";

    // The edge: the longest URL that fits is sent, one character more is not.
    dialog = Start(kPayButton, L"100", &rate5);
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(WaitForCount(GetResultTarget(), 1)); // the device id is known from here on
    ASSERT_TRUE(Close(dialog, kEsc));
    const std::string host = sim.HostPort();
    const auto urlLength = [&](const std::string& encodedRate) {
        return 7 + host.size() + OperationTarget(kProcessPay, "100", encodedRate).size();
    };
    std::wstring rate;
    std::string encoded;
    while (urlLength(encoded + "%EA%B0%80") <= 499) {
        rate += L'가';
        encoded += "%EA%B0%80";
    }
    while (urlLength(encoded) < 499) {
        rate += L'x';
        encoded += 'x';
    }
    ASSERT_LE(rate.size(), 79u);
    const std::wstring oneTooMany = rate + L'x';
    ClearLog();
    ASSERT_EQ(Start(kPayButton, L"100", &oneTooMany), nullptr);
    EXPECT_EQ(app.TakeMessageBox(), kInputTooLong);
    dialog = TransactionDialog();
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(Close(dialog, kEsc));
    EXPECT_TRUE(Requests().empty());

    dialog = Start(kPayButton, L"100", &rate);
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(WaitForCount(OperationTarget(kProcessPay, "100", encoded), 1));
    EXPECT_TRUE(WaitForCount(GetResultTarget(), 1));
    ASSERT_TRUE(Close(dialog, kEsc));
}

} // namespace

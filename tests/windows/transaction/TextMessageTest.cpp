// The text message of a give, sent from the waiting screen's send image: the refusals before
// anything is sent, a sent message, a failed one, what arrives in the server's outbox, and where
// the send image does not react.
#include "tests/windows/transaction/TransactionTest.h"

#include "res/resource.h"

#include <ctime>

namespace {

constexpr wchar_t kNoCoins[] = L"누리 코인이 없습니다. 별바다 앱을 이용해서 충전하세요.";
constexpr wchar_t kNoPhone[] = L"전화번호가 입력되지 않았습니다.";
constexpr wchar_t kSent[] = L"문자를 전송했습니다.";
constexpr wchar_t kPhoneTooLong[] = L"전화번호가 너무 깁니다.";
constexpr char kTextMessagePath[] = "/sms_client_v10/pctelmilege.php";

class TextMessage : public TransactionTest {
protected:
    // A give of 15000 at the login's rate, polling.
    HWND OpenGive() {
        HWND dialog = Start(kGiveButton, L"15000");
        if (dialog && !WaitForCount(GetResultTarget(), 1))
            return nullptr;
        return dialog;
    }
    static void Send(HWND dialog, const std::wstring& phone) {
        gui::SetDlgItemTextOf(dialog, kPhoneEdit, phone);
        gui::ClickClient(dialog, kSendButton.x, kSendButton.y);
    }
    std::size_t TextMessagesSent() const { return TargetsStartingWith(sim, kTextMessagePath).size(); }
    // Polling goes on: two more get-result requests arrive.
    bool StillPolling() const { return WaitForCount(GetResultTarget(), Count(GetResultTarget()) + 2); }
    // The target of a text message, up to its mark tag.
    std::string TextMessageTarget(const std::string& encodedPhone) const {
        return TextMessagePrefix() + "&price=15000&milege=5&tel=" + encodedPhone + "&marktag=";
    }
};

// Nothing is sent and polling goes on when there are no coins or no phone number.
struct RefusalCase {
    const char* name;
    const char* coins;
    const wchar_t* phone;
    const wchar_t* message;
    int shownCoins;
};

void PrintTo(const RefusalCase& c, std::ostream* os) {
    *os << c.name;
}

class TextMessageRefused : public TextMessage, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(TextMessageRefused, SendsNothingAndPollingGoesOn) {
    const RefusalCase& c = GetParam();
    ASSERT_TRUE(sim.SetShop("demo", std::string("coins=") + c.coins));
    HWND dialog = OpenGive();
    ASSERT_NE(dialog, nullptr);
    // The coin line shows the balance the give reply carried.
    ExpectedScreen waiting(exe, IDB_WAITING);
    ASSERT_TRUE(waiting.Valid());
    DrawWaiting(waiting, c.shownCoins);
    EXPECT_TRUE(ShowsScreen(dialog, waiting, {ControlRect(dialog, kPhoneEdit)}));

    Send(dialog, c.phone);
    EXPECT_EQ(app.TakeMessageBox(), c.message);
    EXPECT_TRUE(StillPolling());
    EXPECT_TRUE(gui::IsControlVisible(dialog, kPhoneEdit)) << "still the waiting screen";
    EXPECT_EQ(TextMessagesSent(), 0u);
    EXPECT_TRUE(sim.SmsOutbox().empty());
    EXPECT_TRUE(Close(dialog, kEsc));
}

INSTANTIATE_TEST_SUITE_P(Cases, TextMessageRefused,
                         ::testing::Values(RefusalCase{"NoCoins", "0", L"010-1234-5678", kNoCoins, 0},
                                           RefusalCase{"NegativeCoins", "-5", L"010-1234-5678", kNoCoins, -5},
                                           RefusalCase{"EmptyPhone", "1500", L"", kNoPhone, 1500}),
                         [](const auto& param) { return std::string(param.param.name); });

// A sent message stops the poller (the give counts as done and its result screen comes up behind
// the message box); dismissing the box closes the dialog. The message is in the outbox once.
TEST_F(TextMessage, SentMessageClosesTheDialog) {
    HWND dialog = OpenGive();
    ASSERT_NE(dialog, nullptr);
    const long long before = static_cast<long long>(std::time(nullptr));
    Send(dialog, L"010-1234-5678");
    HWND box = gui::WaitForMessageBox(app.Pid(), kGuiWaitMs);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(gui::MessageBoxText(box), kSent);
    EXPECT_TRUE(gui::WaitUntil(kGuiWaitMs, [&] { return !gui::IsControlVisible(dialog, kPhoneEdit); }))
        << "the give result screen, without the phone field";
    EXPECT_TRUE(IsWindowVisible(dialog)) << "the dialog waits for the box";
    gui::CloseMessageBox(box);
    EXPECT_TRUE(gui::WaitForWindowGone(dialog, kGuiWaitMs));
    EXPECT_TRUE(IsWindowEnabled(amountEntry));
    const long long after = static_cast<long long>(std::time(nullptr));

    const auto outbox = sim.SmsOutbox();
    ASSERT_EQ(outbox.size(), 1u);
    ASSERT_EQ(outbox[0].size(), 5u);
    EXPECT_EQ(outbox[0][0], Device());
    EXPECT_EQ(outbox[0][1], "010-1234-5678");
    EXPECT_EQ(outbox[0][2], "15000");
    EXPECT_EQ(outbox[0][3], "5");
    // The mark tag is the calendar time in seconds, as a plain decimal number.
    const std::string& markTag = outbox[0][4];
    ASSERT_FALSE(markTag.empty());
    ASSERT_EQ(markTag.find_first_not_of("0123456789"), std::string::npos) << markTag;
    EXPECT_GE(std::stoll(markTag), before);
    EXPECT_LE(std::stoll(markTag), after);

    // Give, polls, the message; not one poll after it (the stop is raised inside the exchange), and
    // nothing from closing.
    EXPECT_EQ(CollapseRepeats(Requests()),
              (std::vector<std::string>{OperationTarget(kProcessGive, "15000", "5"), GetResultTarget(),
                                        TextMessageTarget("010-1234-5678") + markTag}));
    EXPECT_TRUE(StaysQuiet());
}

// A message that fails: the dialog stays on the waiting screen and the customer can still confirm.
struct FailureCase {
    const char* name;
    const char* faultMode; // nullptr: the server's own refusal, for want of coins
    const char* faultBody;
};

void PrintTo(const FailureCase& c, std::ostream* os) {
    *os << c.name;
}

class TextMessageFails : public TextMessage, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(TextMessageFails, TransactionKeepsWaiting) {
    const FailureCase& c = GetParam();
    HWND dialog = OpenGive(); // the give reply still reports 1500 coins
    ASSERT_NE(dialog, nullptr);
    if (c.faultMode) {
        ASSERT_TRUE(sim.ArmFault(kTextMessagePath, c.faultMode, c.faultBody));
    } else {
        ASSERT_TRUE(sim.SetShop("demo", "coins=0"));
    }
    Send(dialog, L"010-1234-5678");
    EXPECT_EQ(app.TakeMessageBox(), kNetworkFailed);
    EXPECT_TRUE(IsWindowVisible(dialog));
    EXPECT_TRUE(StillPolling());
    EXPECT_TRUE(gui::IsControlVisible(dialog, kPhoneEdit)) << "still the waiting screen";
    EXPECT_EQ(TextMessagesSent(), 1u);
    if (!c.faultMode) {
        EXPECT_TRUE(sim.SmsOutbox().empty());
    }

    ASSERT_TRUE(sim.DisarmFault(kTextMessagePath));
    ASSERT_TRUE(sim.Confirm(Device()));
    EXPECT_TRUE(WaitForCount(DeleteDataTarget(), 1));
    EXPECT_TRUE(gui::WaitUntil(kGuiWaitMs, [&] { return !gui::IsControlVisible(dialog, kPhoneEdit); }));
    EXPECT_TRUE(Close(dialog, kEnter));
}

INSTANTIATE_TEST_SUITE_P(Failures, TextMessageFails,
                         ::testing::Values(FailureCase{"RefusedByTheServer", nullptr, ""},
                                           FailureCase{"RefusalReply", "body", "0</>no"},
                                           FailureCase{"ConnectionReset", "reset&after=0", ""}),
                         [](const auto& param) { return std::string(param.param.name); });

// The phone text goes out percent-encoded and arrives decoded, byte for byte.
TEST_F(TextMessage, PhoneTextArrivesExactly) {
    HWND dialog = OpenGive();
    ASSERT_NE(dialog, nullptr);
    Send(dialog, L"010 & 한글+#%=?");
    EXPECT_EQ(app.TakeMessageBox(), kSent);
    EXPECT_TRUE(gui::WaitForWindowGone(dialog, kGuiWaitMs));
    const auto outbox = sim.SmsOutbox();
    ASSERT_EQ(outbox.size(), 1u);
    EXPECT_EQ(outbox[0][1], "010 & 한글+#%=?");
    const auto sent = TargetsStartingWith(sim, kTextMessagePath);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].rfind(TextMessageTarget("010%20%26%20%ED%95%9C%EA%B8%80%2B%23%25%3D%3F"), 0), 0u)
        << sent[0];
}

// A phone number whose URL would pass 499 characters is refused before anything is sent, and the
// poller goes on; the longest that fits is sent whole.
TEST_F(TextMessage, PhoneNumberTooLongForTheUrl) {
    HWND dialog = OpenGive();
    ASSERT_NE(dialog, nullptr);
    const std::string markTag = std::to_string(static_cast<long long>(std::time(nullptr)));
    const std::size_t fixed = 7 + sim.HostPort().size() + TextMessageTarget("").size() + markTag.size();
    ASSERT_LT(fixed, 499u);
    const std::string longest(499 - fixed, '1');

    Send(dialog, std::wstring(longest.size() + 1, L'1'));
    EXPECT_EQ(app.TakeMessageBox(), kPhoneTooLong);
    EXPECT_TRUE(StillPolling());
    EXPECT_EQ(TextMessagesSent(), 0u);

    Send(dialog, std::wstring(longest.size(), L'1'));
    EXPECT_EQ(app.TakeMessageBox(), kSent);
    EXPECT_TRUE(gui::WaitForWindowGone(dialog, kGuiWaitMs));
    const auto outbox = sim.SmsOutbox();
    ASSERT_EQ(outbox.size(), 1u);
    EXPECT_EQ(outbox[0][1], longest);
}

// The send image acts on a give's waiting screen only: neither on a give's result screen (where it
// is not drawn, though the hidden phone field still holds a number) nor in a pay or a cancel.
struct NoSendCase {
    const char* name;
    POINT button;
    bool completeFirst;
};

void PrintTo(const NoSendCase& c, std::ostream* os) {
    *os << c.name;
}

class SendImageIgnored : public TextMessage, public ::testing::WithParamInterface<NoSendCase> {};

TEST_P(SendImageIgnored, NoMessageNoRequest) {
    const NoSendCase& c = GetParam();
    HWND dialog = Start(c.button, L"100");
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(WaitForCount(GetResultTarget(), 1));
    if (c.button.y == kGiveButton.y) {
        gui::SetDlgItemTextOf(dialog, kPhoneEdit, L"010-1234-5678");
    }
    if (c.completeFirst) {
        ASSERT_TRUE(sim.Confirm(Device()));
        ASSERT_TRUE(WaitForCount(DeleteDataTarget(), 1));
        ASSERT_TRUE(gui::WaitUntil(kGuiWaitMs, [&] { return !gui::IsControlVisible(dialog, kPhoneEdit); }));
    }
    gui::ClickClient(dialog, kSendButton.x, kSendButton.y);
    EXPECT_EQ(gui::WaitForMessageBox(app.Pid(), 1000), nullptr);
    EXPECT_EQ(TextMessagesSent(), 0u);
    EXPECT_TRUE(sim.SmsOutbox().empty());
    EXPECT_TRUE(IsWindowVisible(dialog));
    EXPECT_TRUE(Close(dialog, kEsc));
}

INSTANTIATE_TEST_SUITE_P(Screens, SendImageIgnored,
                         ::testing::Values(NoSendCase{"GiveResult", kGiveButton, true},
                                           NoSendCase{"PayWaiting", kPayButton, false},
                                           NoSendCase{"CancelWaiting", kCancelButton, false}),
                         [](const auto& param) { return std::string(param.param.name); });

// The send image's rectangle: left and top edges inside, right and bottom edges outside. An empty
// phone field makes every hit show its message and send nothing.
TEST_F(TextMessage, SendImageEdges) {
    HWND dialog = OpenGive();
    ASSERT_NE(dialog, nullptr);
    gui::SetDlgItemTextOf(dialog, kPhoneEdit, L"");
    struct Edge {
        POINT point;
        bool hits;
    };
    const Edge edges[] = {{{315, 190}, true},  {{439, 258}, true},  {{440, 259}, false},
                          {{314, 190}, false}, {{315, 259}, false}, {{440, 224}, false}};
    for (const Edge& edge : edges) {
        SCOPED_TRACE(::testing::Message() << edge.point.x << "," << edge.point.y);
        gui::ClickClient(dialog, edge.point.x, edge.point.y);
        // A miss is followed by a hit: exactly one message box must come.
        if (!edge.hits)
            gui::ClickClient(dialog, kSendButton.x, kSendButton.y);
        EXPECT_EQ(app.TakeMessageBox(), kNoPhone);
        EXPECT_EQ(gui::WaitForMessageBox(app.Pid(), 300), nullptr);
    }
    EXPECT_EQ(TextMessagesSent(), 0u);
    EXPECT_TRUE(Close(dialog, kEsc));
}

} // namespace

// Replies outside the reply record's limits, to the login, the give and the get-result: invalid
// UTF-8, 40 fields, 200-character fields, a 5 KB body. The program does not crash, sends nothing
// twice, and does what the record's rules make of the reply.
#include "tests/windows/faults/FaultFixture.h"

#include <functional>
#include <thread>

namespace {

constexpr char kInvalidUtf8[] = "\xff\xfe\xc3\x28\xed\xa0\x80"; // stray bytes, a broken pair, a surrogate

std::string Repeat(const std::string& piece, std::size_t times) {
    std::string out;
    for (std::size_t i = 0; i < times; ++i)
        out += piece;
    return out;
}

// Fields f<first>..f<last> as "</>"-joined text, with a leading separator.
std::string ExtraFields(int first, int last) {
    std::string out;
    for (int i = first; i <= last; ++i)
        out += "</>f" + std::to_string(i);
    return out;
}

const std::string kFiveKilobytes = Repeat("z", 5 * 1024);

// ---- login ----

enum class LoginOutcome { Launcher, Rejected, UpgradeNotice };

struct LoginCase {
    const char* name;
    // Makes the reply from the server's real login fields (device id, host and rate it knows).
    std::function<std::string(std::vector<std::string>)> reply;
    LoginOutcome outcome;
    // For an outcome with a launcher: what the give request then carries as its device id
    // (empty: the real one), or "-" when the give cannot reach the server at all.
    std::function<std::string(const std::vector<std::string>&)> giveDevice;
};

class MalformedLogin : public FaultFixture, public ::testing::WithParamInterface<LoginCase> {};

TEST_P(MalformedLogin, HasTheRecordsOutcome) {
    const LoginCase& c = GetParam();
    const auto real = ServerLoginFields();
    ASSERT_EQ(real.size(), 8u);
    ASSERT_TRUE(sim.Reset());
    ASSERT_TRUE(sim.ArmFault(kLoginPath, "body", c.reply(real)));

    if (c.outcome == LoginOutcome::Rejected) {
        app.SubmitLogin(L"demo", L"demo");
        EXPECT_EQ(app.TakeMessageBox(), kRejected);
        EXPECT_EQ(app.Process().WaitForExit(kGuiWaitMs), 0u);
        EXPECT_EQ(Sent(kLoginPath), 1);
        return;
    }
    // An upgrade notice is declined as it comes, while the login waits for the launcher.
    bool noticeShown = false;
    std::thread decline;
    if (c.outcome == LoginOutcome::UpgradeNotice) {
        decline = std::thread([&] {
            HWND notice = gui::WaitForWindow(app.Pid(), L"#32770", L"업그레이드 알림", kGuiWaitMs);
            noticeShown = notice != nullptr;
            if (notice)
                gui::CommandCancel(notice);
        });
    }
    HWND launcher = app.LoginAndWaitForLauncher();
    if (decline.joinable())
        decline.join();
    EXPECT_EQ(noticeShown, c.outcome == LoginOutcome::UpgradeNotice)
        << "an empty version field offers the upgrade";
    ASSERT_NE(launcher, nullptr);
    ASSERT_TRUE(sim.DisarmFault(kLoginPath));
    ASSERT_NE(app.OpenAmountEntry(), nullptr);

    // The stored values are what the record's limits left of the fields.
    const std::string device = c.giveDevice ? c.giveDevice(real) : real[1];
    gui::SetDlgItemTextOf(app.AmountEntry(), kAmountEdit, L"15000");
    gui::ClickClient(app.AmountEntry(), kGiveButton.x, kGiveButton.y);
    if (device == "-") {
        EXPECT_EQ(app.TakeMessageBox(), kNetworkFailed);
        EXPECT_EQ(Sent(kOperationPath), 0);
    } else {
        ASSERT_TRUE(WaitForSent(kOperationPath, 1));
        EXPECT_EQ(TargetsStartingWith(sim, kOperationPath).at(0),
                  std::string(kOperationPath) + "?deviceid=" + device + "&process=1&price=15000&milege=5");
        if (device != real[1]) {
            EXPECT_EQ(app.TakeMessageBox(), kNetworkFailed) << "the server does not know that till";
        }
    }
    HWND transaction = nullptr;
    ASSERT_TRUE(
        gui::WaitUntil(kGuiWaitMs, [&] { return (transaction = app.FindTransactionDialog()) != nullptr; }));
    if (device == real[1]) {
        EXPECT_TRUE(WaitForSent(kResultPath, 1)) << "an accepted give polls";
    }
    EXPECT_EQ(Sent(kLoginPath), 1);
    ExpectNothingSentTwice(device == "-" ? 0 : 1);
    ExpectQuietAndRunning();
    gui::CommandCancel(transaction);
    EXPECT_TRUE(gui::WaitForWindowGone(transaction, kGuiWaitMs));
}

using Fields = std::vector<std::string>;

INSTANTIATE_TEST_SUITE_P(
    Replies, MalformedLogin,
    ::testing::Values(
        LoginCase{"InvalidUtf8BeforeTheResult",
                  [](Fields f) {
                      f[0] = kInvalidUtf8 + f[0];
                      return Record(f);
                  },
                  LoginOutcome::Rejected, nullptr},
        LoginCase{"InvalidUtf8InTheShopName",
                  [](Fields f) {
                      f[2] += kInvalidUtf8;
                      return Record(f);
                  },
                  LoginOutcome::Launcher, nullptr},
        LoginCase{"InvalidUtf8InTheDeviceId",
                  [](Fields f) {
                      f[1] += "\xff";
                      return Record(f);
                  },
                  LoginOutcome::Launcher,
                  [](const Fields& f) { return f[1] + "%EF%BF%BD"; }}, // U+FFFD, encoded
        LoginCase{"FortyFields", [](Fields f) { return Record(f) + ExtraFields(8, 39); },
                  LoginOutcome::Launcher, nullptr},
        LoginCase{"TwoHundredCharacterShopName",
                  [](Fields f) {
                      f[2] = Repeat("가", 200);
                      return Record(f);
                  },
                  LoginOutcome::Launcher, nullptr},
        LoginCase{"TwoHundredCharacterDeviceId",
                  [](Fields f) {
                      f[1] = Repeat("d", 200);
                      return Record(f);
                  },
                  LoginOutcome::Launcher, [](const Fields&) { return Repeat("d", 99); }},
        LoginCase{"FiveKilobytesAfterTheFields", [](Fields f) { return Record(f) + "</>" + kFiveKilobytes; },
                  LoginOutcome::Launcher, nullptr},
        // The body is cut at 2047 bytes, inside field 2: fields 3 to 7 never arrive, so the host
        // and the version are empty. The upgrade is offered; declined, every later URL has no host.
        LoginCase{"FiveKilobyteShopNameCutsOffHostAndVersion",
                  [](Fields f) {
                      f[2] = kFiveKilobytes;
                      return Record(f);
                  },
                  LoginOutcome::UpgradeNotice, [](const Fields&) { return std::string("-"); }}),
    [](const auto& param) { return std::string(param.param.name); });

// ---- give ----

struct GiveCase {
    const char* name;
    std::string reply;
    bool accepted;
};

class MalformedGiveReply : public FaultFixture, public ::testing::WithParamInterface<GiveCase> {};

TEST_P(MalformedGiveReply, HasTheRecordsOutcome) {
    LoginAndOpenAmountEntry();
    ASSERT_TRUE(sim.ArmFault(kOperationPath, "body", GetParam().reply));
    gui::SetDlgItemTextOf(app.AmountEntry(), kAmountEdit, L"15000");
    gui::ClickClient(app.AmountEntry(), kGiveButton.x, kGiveButton.y);
    if (!GetParam().accepted) {
        EXPECT_EQ(app.TakeMessageBox(), kNetworkFailed);
    }
    HWND transaction = nullptr;
    ASSERT_TRUE(
        gui::WaitUntil(kGuiWaitMs, [&] { return (transaction = app.FindTransactionDialog()) != nullptr; }));
    EXPECT_TRUE(WaitForPicture(transaction, kWaitingPicture));

    if (GetParam().accepted) {
        // The server booked the give behind the odd reply: the customer can confirm it.
        ASSERT_TRUE(WaitForSent(kResultPath, 1));
        ASSERT_TRUE(ConfirmAtServer());
        EXPECT_TRUE(WaitForPicture(transaction, kGiveDonePicture));
        EXPECT_TRUE(gui::WaitUntil(kGuiWaitMs, [&] { return Sent(kDeletePath) == 1; }));
    } else {
        Sleep(1000);
        EXPECT_EQ(Sent(kResultPath), 0);
    }
    ExpectNothingSentTwice(1);
    ExpectQuietAndRunning();
    gui::CommandCancel(transaction);
    EXPECT_TRUE(gui::WaitForWindowGone(transaction, kGuiWaitMs));
}

INSTANTIATE_TEST_SUITE_P(
    Replies, MalformedGiveReply,
    ::testing::Values(GiveCase{"InvalidUtf8Coins", std::string("1</>") + kInvalidUtf8, true},
                      // Only a '0' first refuses: U+FFFD before the 1 is still an acceptance.
                      GiveCase{"InvalidUtf8BeforeTheResult", std::string(kInvalidUtf8) + "1</>1500", true},
                      GiveCase{"FortyFields", "1</>1500" + ExtraFields(2, 39), true},
                      GiveCase{"TwoHundredDigitCoins", "1</>" + Repeat("9", 200), true},
                      GiveCase{"FiveKilobytes", "1</>1500</>" + kFiveKilobytes, true},
                      GiveCase{"FiveKilobyteRefusal", "0</>" + kFiveKilobytes, false}),
    [](const auto& param) { return std::string(param.param.name); });

using MalformedReplyTest = FaultFixture;

TEST_F(MalformedReplyTest, InvalidUtf8CoinsCountAsNoCoins) {
    LoginAndOpenAmountEntry();
    ASSERT_TRUE(sim.ArmFault(kOperationPath, "body", std::string("1</>") + kInvalidUtf8 + "1500"));
    HWND transaction = Start(kGiveButton);
    ASSERT_NE(transaction, nullptr);
    gui::SetDlgItemTextOf(transaction, kPhoneEdit, L"010-1234-5678");
    gui::ClickClient(transaction, kSendButton.x, kSendButton.y);
    EXPECT_EQ(app.TakeMessageBox(), L"누리 코인이 없습니다. 별바다 앱을 이용해서 충전하세요.");
    EXPECT_EQ(Sent(kTextPath), 0);
    ExpectQuietAndRunning();
    gui::CommandCancel(transaction);
    EXPECT_TRUE(gui::WaitForWindowGone(transaction, kGuiWaitMs));
}

// ---- get-result ----

struct ResultCase {
    const char* name;
    std::string reply;
    bool completes;
};

class MalformedResultReply : public FaultFixture, public ::testing::WithParamInterface<ResultCase> {};

TEST_P(MalformedResultReply, HasTheRecordsOutcome) {
    LoginAndOpenAmountEntry();
    HWND transaction = Start(kGiveButton);
    ASSERT_NE(transaction, nullptr);
    ASSERT_TRUE(WaitForSent(kResultPath, 1));
    ASSERT_TRUE(sim.ArmFault(kResultPath, "body", GetParam().reply));
    const int armedAt = Sent(kResultPath);

    if (GetParam().completes) {
        EXPECT_TRUE(WaitForPicture(transaction, kGiveDonePicture));
        EXPECT_FALSE(gui::IsControlVisible(transaction, kPhoneEdit));
        EXPECT_TRUE(gui::WaitUntil(kGuiWaitMs, [&] { return Sent(kDeletePath) == 1; }));
        const int polls = Sent(kResultPath);
        Sleep(700);
        EXPECT_EQ(Sent(kResultPath), polls) << "no poll after the completion";
    } else {
        ASSERT_TRUE(WaitForSent(kResultPath, armedAt + 3));
        EXPECT_EQ(ShownPicture(transaction), kWaitingPicture);
        EXPECT_EQ(Sent(kDeletePath), 0);
        // The real completion still gets through.
        ASSERT_TRUE(sim.DisarmFault(kResultPath));
        ASSERT_TRUE(ConfirmAtServer());
        EXPECT_TRUE(WaitForPicture(transaction, kGiveDonePicture));
        EXPECT_TRUE(gui::WaitUntil(kGuiWaitMs, [&] { return Sent(kDeletePath) == 1; }));
    }
    ExpectNothingSentTwice(1);
    ExpectQuietAndRunning();
    gui::CommandCancel(transaction);
    EXPECT_TRUE(gui::WaitForWindowGone(transaction, kGuiWaitMs));
}

const std::string kSevenLines = "</>홍길동</>3</>15000</>750</>45000</>2250</>0";

INSTANTIATE_TEST_SUITE_P(
    Replies, MalformedResultReply,
    ::testing::Values(
        ResultCase{"FortyFields", "1</>11" + ExtraFields(2, 39), true},
        ResultCase{"TwoHundredCharacterLines", "1</>11" + Repeat("</>" + Repeat("가", 200), 7), true},
        ResultCase{"InvalidUtf8Lines", "1</>11" + Repeat(std::string("</>") + kInvalidUtf8, 7), true},
        ResultCase{"FiveKilobytes", "1</>11" + kSevenLines + "</>" + kFiveKilobytes, true},
        ResultCase{"FiveKilobyteLineCutOff", "1</>11</>" + kFiveKilobytes, true},
        // Field 1 must be exactly "11".
        ResultCase{"InvalidUtf8InTheCode", std::string("1</>11") + kInvalidUtf8 + kSevenLines, false},
        ResultCase{"TwoHundredOnes", "1</>" + Repeat("1", 200) + kSevenLines, false},
        ResultCase{"FiveKilobyteCodeField", "1</>" + Repeat("11", 2560), false},
        ResultCase{"CompletionPastTheCut", kFiveKilobytes + "</>11" + kSevenLines, false}),
    [](const auto& param) { return std::string(param.param.name); });

} // namespace

// Start-up, login and the launcher through the real windows: what each login outcome shows and
// sends, how the program ends, the upgrade notice, and the screens before any transaction.
#include "tests/windows/TillTest.h"

#include <fstream>
#include <iterator>

namespace {

// As the server's log shows a login: the password masked.
const std::string kDemo = TargetOf(kLoginTemplate, {"demo", "***"});

struct LoginCase {
    const char* name;
    const char* fault = nullptr; // armed on the login path
    std::string body = {};       // of fault "body"
    std::wstring id = L"demo", password = L"demo";
    bool pressEnter = false;                 // Enter in the password edit instead of a click on the image
    const wchar_t* message = nullptr;        // nullptr: the launcher comes
    std::vector<std::string> sent = {kDemo}; // the login targets the server saw
};

class Login : public TillTest, public ::testing::WithParamInterface<LoginCase> {};

TEST_P(Login, ShowsItsOutcomeAndSendsTheTypedTextOnce) {
    const LoginCase& c = GetParam();
    if (c.fault) {
        ASSERT_TRUE(sim.ArmFault(kLoginPath, c.fault, c.body));
    }
    gui::SetDlgItemTextOf(login, IDC_ID_EDIT, c.id);
    gui::SetDlgItemTextOf(login, IDC_PASSWORD_EDIT, c.password);
    if (c.pressEnter)
        gui::PressKey(GetDlgItem(login, IDC_PASSWORD_EDIT), VK_RETURN);
    else
        ClickCentre(login, kLoginButtonRect);
    if (c.message) {
        EXPECT_EQ(TakeMessageBox(), c.message);
    } else {
        ASSERT_TRUE(gui::WaitForWindowGone(login, kWaitMs));
        ASSERT_NE(launcher = WaitForDialog(IDC_LAUNCH_BUTTON), nullptr);
    }
    EXPECT_EQ(sim.RequestTargets(), c.sent);
    if (c.message && c.message != kLoginTooLong) {
        EXPECT_EQ(app.WaitForExit(kWaitMs), 0u) << "a rejected login ends the program";
        return;
    }
    // Past a refusal before sending the dialog stays, and the cashier corrects and logs in.
    EXPECT_TRUE(!c.message || IsWindowVisible(login));
    EXPECT_TRUE(OpenAmountEntry()) << "the launcher opens the amount entry";
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, Login,
    ::testing::Values(
        LoginCase{.name = "EnterInAnEdit", .pressEnter = true},
        LoginCase{.name = "TypedTextArrivesEncodedAsUtf8", .id = L"가게 a&b=c#d+e", .password = L"p%w 한",
                  .message = kLoginRejected,
                  .sent = {TargetOf(kLoginTemplate, {"%EA%B0%80%EA%B2%8C%20a%26b%3Dc%23d%2Be", "***"})}},
        LoginCase{.name = "OnlySeventyNineCharactersAreTaken", .id = std::wstring(100, L'x'),
                  .password = L"p", .message = kLoginRejected,
                  .sent = {TargetOf(kLoginTemplate, {std::string(79, 'x'), "***"})}},
        LoginCase{.name = "UrlTooLongIsRefusedBeforeSending", .id = std::wstring(79, L'&'),
                  .message = kLoginTooLong, .sent = {}},
        LoginCase{.name = "HostWithAPathIsRejected", .fault = "body",
                  .body = "1</>T1</>s</>demo</>5</>h.example/x?y=</></>2", .message = kLoginRejected},
        LoginCase{.name = "SlowReplyIsWaitedFor", .fault = "slow&chunk=4&ms=60"}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(TillTest, CancelAtLoginEndsWithExitCodeOneAndSendsNothing) {
    kEsc.close(login);
    EXPECT_EQ(app.WaitForExit(kWaitMs), 1u);
    EXPECT_TRUE(sim.RequestTargets().empty());
}

TEST_F(TillTest, TheLauncherIsTopmostAndEndsTheProgramEveryWay) {
    for (const CloseWay& way : {kEnter, kEsc, kCloseBox}) {
        SCOPED_TRACE(way.name);
        ASSERT_TRUE(app.Running() || StartProgram());
        ASSERT_TRUE(OpenAmountEntry());
        EXPECT_TRUE(GetWindowLongPtrW(launcher, GWL_EXSTYLE) & WS_EX_TOPMOST);
        ASSERT_TRUE(Close(amountEntry, kEsc));
        way.close(launcher);
        EXPECT_EQ(app.WaitForExit(kWaitMs), 0u);
    }
}

// The client version is the build's: the next release (QuillonTestNext.exe, built as "3") takes
// "3" as current and offers the upgrade for any other announcement. Declining goes on; accepting
// opens the default site, never the host the login reply named, and ends the program.
TEST_F(TillTest, UpgradeNoticeFollowsTheBuildsClientVersionAndIsDeclinedOrAccepted) {
    DeleteFileA(QUILLON_SHELL_OPENED);
    const struct {
        const wchar_t* exe;
        const char* announced;
        const CloseWay* answer; // to the notice; nullptr: none comes
    } rows[] = {{L"QuillonTestNext.exe", "3", nullptr},
                {L"QuillonTestNext.exe", "2", &kEsc},
                {L"QuillonTest.exe", "3", &kEsc},
                {L"QuillonTest.exe", "3", &kEnter}};
    for (const auto& row : rows) {
        SCOPED_TRACE(Narrow(row.exe) + " told " + row.announced);
        exe = ExecutableDirectory() + row.exe;
        ASSERT_TRUE(StartProgram());
        ASSERT_TRUE(sim.SetShop("demo", std::string("version=") + row.announced));
        SubmitLogin();
        HWND notice = nullptr, next = nullptr; // its edit has the password edit's id: the one above
        ASSERT_TRUE(gui::WaitUntil(kWaitMs, [&] {
            next = WaitForDialog(IDC_LAUNCH_BUTTON, 0);
            notice = WaitForDialog(IDC_UPGRADE_MESSAGE_EDIT, 0);
            return next || (notice && notice != login);
        }));
        ASSERT_EQ(next == nullptr, row.answer != nullptr);
        if (!row.answer)
            continue;
        EXPECT_EQ(gui::DlgItemTextOf(notice, IDC_UPGRADE_MESSAGE_EDIT), kUpgradeNotice);
        row.answer->close(notice);
        if (row.answer == &kEsc) {
            EXPECT_NE(WaitForDialog(IDC_LAUNCH_BUTTON), nullptr) << "declining goes on to the launcher";
            continue;
        }
        EXPECT_EQ(app.WaitForExit(kWaitMs), 1u);
        // What the stand-in for the shell's open (xdg-open, to which Wine hands a URL) was given,
        // one argument a line: the default site URL, canonical, its root path written out.
        std::string opened;
        EXPECT_TRUE(gui::WaitUntil(kWaitMs, [&] {
            std::ifstream file(QUILLON_SHELL_OPENED);
            opened.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
            return !opened.empty();
        })) << "nothing opened";
        EXPECT_EQ(opened, "http://127.0.0.1:" + std::to_string(QUILLON_TEST_PORT_GUI) + "/\n");
    }
}

// The screens before any transaction, pixel for pixel, except the edits (they paint themselves).
TEST_F(TillTest, ScreensBeforeATransactionAreTheProgramsPictures) {
    Screen screen(exe, IDB_LOGIN_BACKGROUND);
    screen.DrawBitmap(IDB_LOGIN_BUTTON, kLoginButtonRect);
    RECT frame = {};
    GetWindowRect(login, &frame);
    EXPECT_EQ(frame.right - frame.left, Screen::kSize) << "no frame";
    EXPECT_TRUE(
        Shows(login, screen, {ControlRect(login, IDC_ID_EDIT), ControlRect(login, IDC_PASSWORD_EDIT)}));

    ASSERT_TRUE(OpenAmountEntry());
    const LONG bannerBottom = std::min<LONG>(kBannerCopyHeight, gui::ClientSize(launcher).cy);
    EXPECT_TRUE(Shows(launcher, Screen(exe, IDB_LAUNCHER),
                      {RECT{kBannerCopyWidth, 0, 600, 600}, RECT{0, bannerBottom, 600, 600}}));

    Screen entry(exe, IDB_POS_BACKGROUND);
    for (auto [id, r] :
         {std::pair{IDB_GIVE_BUTTON, kGiveButtonRect}, std::pair{IDB_PAY_BUTTON, kPayButtonRect},
          std::pair{IDB_CANCEL_BUTTON, kCancelButtonRect}})
        entry.DrawBitmap(id, r);
    EXPECT_TRUE(Shows(amountEntry, entry,
                      {ControlRect(amountEntry, IDC_AMOUNT_EDIT), ControlRect(amountEntry, IDC_RATE_EDIT)}));
}

} // namespace

// Start-up, login and the launcher through the real windows: what each login outcome shows and
// sends, how the program ends, the upgrade notice, and the screens before any transaction.
#include "tests/windows/TillTest.h"

#include <fstream>
#include <iterator>

namespace {

const std::string kLoginPath = PathOf(kLoginTemplate);

struct LoginCase {
    const char* name;
    const char* fault; // armed on the login path, nullptr for none
    std::string body;  // of fault "body"
    std::wstring id, password;
    bool pressEnter;        // Enter in the password edit instead of a click on the image
    const wchar_t* message; // nullptr: the launcher comes
    std::string sent;       // the login target the server saw; empty: none
};

class Login : public TillTest, public ::testing::WithParamInterface<LoginCase> {};

TEST_P(Login, ShowsItsOutcomeAndSendsTheTypedTextOnce) {
    const LoginCase& c = GetParam();
    if (c.fault) {
        ASSERT_TRUE(sim.ArmFault(kLoginPath, c.fault, c.body));
    }
    gui::SetDlgItemTextOf(login, IDC_ID_EDIT, c.id);
    gui::SetDlgItemTextOf(login, IDC_PASSWORD_EDIT, c.password);
    if (c.pressEnter) {
        gui::PressKey(GetDlgItem(login, IDC_PASSWORD_EDIT), VK_RETURN);
    } else {
        SubmitLogin(c.id, c.password);
    }
    if (c.message) {
        EXPECT_EQ(TakeMessageBox(), c.message);
    } else {
        ASSERT_TRUE(gui::WaitForWindowGone(login, kWaitMs));
        ASSERT_NE(launcher = WaitForDialog(IDC_LAUNCH_BUTTON), nullptr);
    }
    EXPECT_EQ(sim.RequestTargets(),
              c.sent.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.sent});
    if (!c.message) {
        EXPECT_TRUE(OpenAmountEntry()) << "the launcher opens the amount entry";
    }
    if (c.message == kLoginTooLong) {
        // The dialog stays; the cashier corrects and logs in.
        EXPECT_TRUE(IsWindowVisible(login));
        EXPECT_TRUE(OpenAmountEntry());
    } else if (c.message) {
        EXPECT_EQ(app.WaitForExit(kWaitMs), 0u) << "a rejected login ends the program";
    }
}

// As the server's log shows a login: the password masked.
const std::string kDemo = TargetOf(kLoginTemplate, {"demo", "***"});

INSTANTIATE_TEST_SUITE_P(
    Outcomes, Login,
    ::testing::Values(
        LoginCase{"Accepted", nullptr, "", L"demo", L"demo", false, nullptr, kDemo},
        LoginCase{"EnterInAnEdit", nullptr, "", L"demo", L"demo", true, nullptr, kDemo},
        LoginCase{"Rejected", nullptr, "", L"demo", L"wrong", false, kLoginRejected,
                  kDemo},
        LoginCase{"TypedTextArrivesEncodedAsUtf8", nullptr, "", L"가게 a&b=c#d+e", L"p%w 한", false,
                  kLoginRejected,
                  TargetOf(kLoginTemplate, {"%EA%B0%80%EA%B2%8C%20a%26b%3Dc%23d%2Be", "***"})},
        LoginCase{"OnlySeventyNineCharactersAreTaken", nullptr, "", std::wstring(100, L'x'), L"p", false,
                  kLoginRejected, TargetOf(kLoginTemplate, {std::string(79, 'x'), "***"})},
        LoginCase{"UrlTooLongIsRefusedBeforeSending", nullptr, "", std::wstring(79, L'&'), L"demo", false,
                  kLoginTooLong, ""},
        LoginCase{"EmptyReplyIsRejected", "body", "", L"demo", L"demo", false, kLoginRejected, kDemo},
        LoginCase{"ReplyCutMidBodyIsRejected", "reset&after=10", "", L"demo", L"demo", false, kLoginRejected,
                  kDemo},
        LoginCase{"ServerDownIsRejected", "refuse", "", L"demo", L"demo", false, kLoginRejected, kDemo},
        LoginCase{"HostWithAPathIsRejected", "body", "1</>T1</>s</>demo</>5</>h.example/x?y=</></>2", L"demo",
                  L"demo", false, kLoginRejected, kDemo},
        LoginCase{"ErrorPageIsRejected", "body&status=502", "1</>T1</>s</>demo</>5</>h.example</></>2", L"demo",
                  L"demo", false, kLoginRejected, kDemo},
        LoginCase{"SlowReplyIsWaitedFor", "slow&chunk=4&ms=60", "", L"demo", L"demo", false, nullptr, kDemo}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(TillTest, CancelAtLoginEndsWithExitCodeOneAndSendsNothing) {
    gui::CommandCancel(login);
    EXPECT_EQ(app.WaitForExit(kWaitMs), 1u);
    EXPECT_TRUE(sim.RequestTargets().empty());
}

TEST_F(TillTest, TheLauncherIsTopmostAndEndsTheProgramEveryWay) {
    for (const CloseWay& way : {kEnter, kEsc, kCloseBox}) {
        SCOPED_TRACE(way.name);
        if (!app.Running()) {
            ASSERT_TRUE(StartProgram());
        }
        ASSERT_TRUE(OpenAmountEntry());
        EXPECT_TRUE(gui::IsTopmost(launcher));
        ASSERT_TRUE(Close(amountEntry, kEsc));
        way.close(launcher);
        EXPECT_EQ(app.WaitForExit(kWaitMs), 0u);
    }
}

// What the stand-in for the shell's open (xdg-open, to which Wine hands a URL) was given, one
// argument a line; empty when it ran not at all.
std::string ShellOpened() {
    std::ifstream file(QUILLON_SHELL_OPENED);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// Accepting opens the default site, never the host the login reply named, and ends the program.
TEST_F(TillTest, UpgradeNoticeDeclinedGoesOnAndAcceptedEnds) {
    DeleteFileA(QUILLON_SHELL_OPENED);
    for (const CloseWay* way : {&kEsc, &kEnter}) {
        SCOPED_TRACE(way->name);
        if (!app.Running()) {
            ASSERT_TRUE(StartProgram());
        }
        ASSERT_TRUE(sim.SetShop("demo", "version=3"));
        SubmitLogin();
        HWND notice = nullptr; // its edit has the password edit's id: the notice is the one above
        ASSERT_TRUE(gui::WaitUntil(kWaitMs, [&] {
            notice = WaitForDialog(IDC_UPGRADE_MESSAGE_EDIT, 0);
            return notice && notice != login;
        }));
        EXPECT_EQ(gui::DlgItemTextOf(notice, IDC_UPGRADE_MESSAGE_EDIT), kUpgradeNotice);
        way->close(notice);
        if (way == &kEsc) {
            EXPECT_NE(WaitForDialog(IDC_LAUNCH_BUTTON), nullptr) << "declining goes on to the launcher";
            app.Terminate();
        } else {
            EXPECT_EQ(app.WaitForExit(kWaitMs), 1u);
            // The default site URL, as Wine hands it on: canonical, its root path written out.
            const std::string site = "http://127.0.0.1:" + std::to_string(QUILLON_TEST_PORT_GUI) + "/\n";
            EXPECT_TRUE(gui::WaitUntil(kWaitMs, [&] { return !ShellOpened().empty(); })) << "nothing opened";
            EXPECT_EQ(ShellOpened(), site);
        }
    }
}

// The client version is the build's: the next release (QuillonTestNext.exe, built as "3") takes
// "3" as current and offers the upgrade for any other announcement.
TEST_F(TillTest, UpgradeNoticeFollowsTheBuildsClientVersion) {
    const struct {
        const wchar_t* exe;
        const char* announced;
        bool notice;
    } rows[] = {{L"QuillonTestNext.exe", "3", false},
                {L"QuillonTestNext.exe", "2", true},
                {L"QuillonTest.exe", "3", true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(Narrow(row.exe) + " told " + row.announced);
        app.Terminate();
        exe = ExecutableDirectory() + row.exe;
        ASSERT_TRUE(StartProgram());
        ASSERT_TRUE(sim.SetShop("demo", std::string("version=") + row.announced));
        SubmitLogin();
        HWND notice = nullptr, next = nullptr;
        ASSERT_TRUE(gui::WaitUntil(kWaitMs, [&] {
            next = WaitForDialog(IDC_LAUNCH_BUTTON, 0);
            notice = WaitForDialog(IDC_UPGRADE_MESSAGE_EDIT, 0);
            return next || (notice && notice != login);
        }));
        EXPECT_EQ(next == nullptr, row.notice);
    }
}

// The screens before any transaction, pixel for pixel, except the edits (they paint themselves).
struct ScreenCase {
    const char* name;
    int stage; // 0 login, 1 launcher, 2 amount entry
};

class ScreenBefore : public TillTest, public ::testing::WithParamInterface<ScreenCase> {};

TEST_P(ScreenBefore, IsTheProgramsPictures) {
    const int stage = GetParam().stage;
    if (stage > 0) {
        ASSERT_TRUE(OpenAmountEntry());
    }
    if (stage == 0) {
        Screen screen(exe, IDB_LOGIN_BACKGROUND);
        const ClientRect& b = kLoginButtonRect;
        screen.DrawBitmap(IDB_LOGIN_BUTTON, b.left, b.top, b.right - b.left, b.bottom - b.top);
        EXPECT_EQ(gui::WindowSize(login).cx, Screen::kSize) << "no frame";
        EXPECT_TRUE(
            Shows(login, screen, {ControlRect(login, IDC_ID_EDIT), ControlRect(login, IDC_PASSWORD_EDIT)}));
    } else if (stage == 1) {
        Screen screen(exe, IDB_LAUNCHER);
        const SIZE client = gui::ClientSize(launcher);
        EXPECT_TRUE(Shows(launcher, screen,
                          {RECT{kBannerCopyWidth, 0, 600, 600},
                           RECT{0, std::min<LONG>(kBannerCopyHeight, client.cy), 600, 600}}));
    } else {
        Screen screen(exe, IDB_POS_BACKGROUND);
        for (auto [id, r] :
             {std::pair{IDB_GIVE_BUTTON, kGiveButtonRect}, std::pair{IDB_PAY_BUTTON, kPayButtonRect},
              std::pair{IDB_CANCEL_BUTTON, kCancelButtonRect}})
            screen.DrawBitmap(id, r.left, r.top, r.right - r.left, r.bottom - r.top);
        EXPECT_TRUE(
            Shows(amountEntry, screen,
                  {ControlRect(amountEntry, IDC_AMOUNT_EDIT), ControlRect(amountEntry, IDC_RATE_EDIT)}));
    }
}

INSTANTIATE_TEST_SUITE_P(BeforeATransaction, ScreenBefore,
                         ::testing::Values(ScreenCase{"Login", 0}, ScreenCase{"Launcher", 1},
                                           ScreenCase{"AmountEntry", 2}),
                         [](const auto& param) { return std::string(param.param.name); });

} // namespace

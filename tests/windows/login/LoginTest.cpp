// Start-up and login through the real windows: the login dialog's layout and image button, the
// login exchange against quillon-server, the upgrade notice, and how the program ends.
#include "tests/windows/common/QuillonSession.h"

#include <string>

namespace {

constexpr wchar_t kRejected[] = L"not correct id and password";

class LoginTest : public QuillonGuiTest {
protected:
    void SetUp() override {
        QuillonGuiTest::SetUp();
        ASSERT_TRUE(app.Start()) << "no login dialog";
    }
    std::vector<std::string> Logins() const { return TargetsStartingWith(sim, "/android/poslogin.php"); }
};

TEST_F(LoginTest, LayoutIsAFullWindowSkinWithHiddenButtons) {
    HWND login = app.LoginDialog();
    EXPECT_EQ(gui::ClientSize(login).cx, 600);
    EXPECT_EQ(gui::ClientSize(login).cy, 600);
    EXPECT_EQ(gui::WindowSize(login).cx, 600) << "no frame";
    EXPECT_FALSE(gui::IsControlVisible(login, IDOK));
    EXPECT_FALSE(gui::IsControlVisible(login, IDCANCEL));
    EXPECT_TRUE(gui::IsControlVisible(login, kIdEdit));
    EXPECT_TRUE(gui::IsControlVisible(login, kPasswordEdit));
    EXPECT_TRUE(GetWindowLongW(GetDlgItem(login, kPasswordEdit), GWL_STYLE) & ES_PASSWORD);
}

struct ClickCase {
    POINT point;
    bool logsIn;
};

class LoginClick : public LoginTest, public ::testing::WithParamInterface<ClickCase> {};

TEST_P(LoginClick, OnlyTheButtonRectangleLogsIn) {
    const ClickCase c = GetParam();
    gui::SetDlgItemTextOf(app.LoginDialog(), kIdEdit, L"demo");
    gui::SetDlgItemTextOf(app.LoginDialog(), kPasswordEdit, L"demo");
    gui::ClickClient(app.LoginDialog(), c.point.x, c.point.y);
    if (c.logsIn) {
        EXPECT_NE(gui::WaitForWindow(app.Pid(), L"#32770", kLauncherCaption, kGuiWaitMs), nullptr);
        EXPECT_EQ(Logins().size(), 1u);
    } else {
        // A click outside: nothing sent; a click inside afterwards still logs in, once.
        Sleep(500);
        EXPECT_TRUE(Logins().empty());
        gui::ClickClient(app.LoginDialog(), kLoginButton.x, kLoginButton.y);
        EXPECT_NE(gui::WaitForWindow(app.Pid(), L"#32770", kLauncherCaption, kGuiWaitMs), nullptr);
        EXPECT_EQ(Logins().size(), 1u);
    }
}

INSTANTIATE_TEST_SUITE_P(Edges, LoginClick,
                         ::testing::Values(ClickCase{{158, 382}, true}, ClickCase{{445, 423}, true},
                                           ClickCase{{446, 400}, false}, ClickCase{{300, 424}, false},
                                           ClickCase{{157, 400}, false}));

TEST_F(LoginTest, AcceptedLoginShowsTheTopmostLauncherAndSendsTheEncodedUrl) {
    HWND launcher = app.LoginAndWaitForLauncher(L"demo", L"demo");
    ASSERT_NE(launcher, nullptr);
    EXPECT_TRUE(gui::WaitForWindowGone(app.LoginDialog(), kGuiWaitMs));
    EXPECT_TRUE(gui::IsTopmost(launcher));
    EXPECT_FALSE(gui::IsControlVisible(launcher, kLaunchButton));
    EXPECT_EQ(Logins(), (std::vector<std::string>{"/android/poslogin.php?id=demo&password=demo"}));
    // The banner is painted: its pixels are not the dialog's plain face colour.
    Sleep(300);
    auto pixels = ClientPixels::Capture(launcher);
    ASSERT_TRUE(pixels);
    const RECT banner{0, 0, 357, 94};
    EXPECT_LT(pixels->Count(banner, GetSysColor(COLOR_3DFACE)), 357 * 94 / 10);
}

TEST_F(LoginTest, TypedCharactersArriveEncodedAsUtf8) {
    app.SubmitLogin(L"가게 a&b=c#d+e", L"p%w 한");
    EXPECT_EQ(app.TakeMessageBox(), kRejected);
    EXPECT_EQ(Logins(), (std::vector<std::string>{"/android/poslogin.php?id=%EA%B0%80%EA%B2%8C%20a%26b%3Dc%23d%2Be"
                                                  "&password=p%25w%20%ED%95%9C"}));
}

TEST_F(LoginTest, EnterInAnEditLogsIn) {
    gui::SetDlgItemTextOf(app.LoginDialog(), kIdEdit, L"demo");
    gui::SetDlgItemTextOf(app.LoginDialog(), kPasswordEdit, L"demo");
    gui::PressKey(GetDlgItem(app.LoginDialog(), kPasswordEdit), VK_RETURN);
    EXPECT_NE(gui::WaitForWindow(app.Pid(), L"#32770", kLauncherCaption, kGuiWaitMs), nullptr);
}

TEST_F(LoginTest, RejectedLoginShowsTheMessageOnceAndEnds) {
    app.SubmitLogin(L"demo", L"wrong");
    EXPECT_EQ(app.TakeMessageBox(), kRejected);
    EXPECT_EQ(app.Process().WaitForExit(kGuiWaitMs), 0u);
    EXPECT_EQ(Logins().size(), 1u);
}

TEST_F(LoginTest, EmptyReplyCountsAsRejected) {
    ASSERT_TRUE(sim.ArmFault("/android/poslogin.php", "body", ""));
    app.SubmitLogin(L"demo", L"demo");
    EXPECT_EQ(app.TakeMessageBox(), kRejected);
    EXPECT_EQ(app.Process().WaitForExit(kGuiWaitMs), 0u);
}

TEST_F(LoginTest, CancelEndsWithExitCodeOneAndNoMessage) {
    gui::CommandCancel(app.LoginDialog());
    EXPECT_EQ(app.Process().WaitForExit(kGuiWaitMs), 1u);
    EXPECT_TRUE(Logins().empty());
}

TEST_F(LoginTest, TooLongInputIsRefusedAndTheDialogStays) {
    // 79 characters that encode to three each: the URL no longer fits.
    const std::wstring id(79, L'&');
    app.SubmitLogin(id, L"demo");
    EXPECT_EQ(app.TakeMessageBox(), L"아이디 또는 비밀번호가 너무 깁니다.");
    EXPECT_TRUE(Logins().empty());
    EXPECT_TRUE(IsWindowVisible(app.LoginDialog()));
    EXPECT_NE(app.LoginAndWaitForLauncher(L"demo", L"demo"), nullptr) << "the cashier corrects and logs in";
}

TEST_F(LoginTest, OnlySeventyNineCharactersAreSent) {
    app.SubmitLogin(std::wstring(100, L'x'), L"p");
    EXPECT_EQ(app.TakeMessageBox(), kRejected);
    EXPECT_EQ(Logins(), (std::vector<std::string>{"/android/poslogin.php?id=" + std::string(79, 'x') + "&password=p"}));
}

struct EndKey {
    const char* name;
    void (*press)(HWND launcher);
};

class LauncherEnds : public LoginTest, public ::testing::WithParamInterface<EndKey> {};

TEST_P(LauncherEnds, ProgramEndsFromTheLauncher) {
    HWND launcher = app.LoginAndWaitForLauncher();
    ASSERT_NE(launcher, nullptr);
    GetParam().press(launcher);
    EXPECT_EQ(app.Process().WaitForExit(kGuiWaitMs), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, LauncherEnds,
    ::testing::Values(EndKey{"Enter", [](HWND w) { gui::CommandOk(w); }},
                      EndKey{"Esc", [](HWND w) { gui::CommandCancel(w); }},
                      EndKey{"CloseBox", [](HWND w) { PostMessageW(w, WM_SYSCOMMAND, SC_CLOSE, 0); }}),
    [](const auto& param) { return std::string(param.param.name); });

class UpgradeTest : public LoginTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(sim.Reset());
        ASSERT_TRUE(sim.SetShop("demo", "version=3"));
        ASSERT_TRUE(app.Start());
        app.SubmitLogin(L"demo", L"demo");
        notice = gui::WaitForWindow(app.Pid(), L"#32770", L"업그레이드 알림", kGuiWaitMs);
        ASSERT_NE(notice, nullptr);
    }
    void TearDown() override { sim.SetShop("demo", "version=2"); }
    HWND notice = nullptr;
};

TEST_F(UpgradeTest, NoticeShowsItsMessageAndDecliningGoesOn) {
    EXPECT_EQ(gui::DlgItemTextOf(notice, 1011), L"별바다 포스가 업그레이드 되었습니다. 업그레이드 하시겠습니까?");
    EXPECT_TRUE(gui::IsControlVisible(notice, IDOK));
    EXPECT_TRUE(gui::IsControlVisible(notice, IDCANCEL));
    gui::CommandCancel(notice);
    HWND launcher = gui::WaitForWindow(app.Pid(), L"#32770", kLauncherCaption, kGuiWaitMs);
    ASSERT_NE(launcher, nullptr);
    EXPECT_TRUE(gui::IsTopmost(launcher));
}

TEST_F(UpgradeTest, AcceptingEndsWithExitCodeOne) {
    gui::CommandOk(notice);
    EXPECT_EQ(app.Process().WaitForExit(kGuiWaitMs), 1u);
}

} // namespace

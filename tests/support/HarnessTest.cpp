// The GUI harness proves itself on its own throwaway dialog (demo/HarnessDemo.cpp) under Wine:
// finding the window, sizes and style bits, clicks at client points, Korean text, Enter and Esc
// both as commands and as real keys, the message box, pixels and exit codes.
#include "tests/support/ClientPixels.h"
#include "tests/support/TestProcess.h"
#include "tests/support/WindowInput.h"
#include "tests/support/WindowQuery.h"
#include "tests/support/demo/HarnessDemoIds.h"

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr DWORD kWaitMs = 15000;
constexpr wchar_t kCaption[] = L"하네스 시험";
constexpr COLORREF kRed = RGB(200, 30, 40);
constexpr COLORREF kGreen = RGB(20, 160, 60);

class HarnessTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(process.Start(ExecutableDirectory() + L"harness_demo.exe"));
        dialog = gui::WaitForWindow(process.Id(), L"#32770", kCaption, kWaitMs);
        ASSERT_NE(dialog, nullptr) << "the demo dialog did not appear";
    }

    TestProcess process;
    HWND dialog = nullptr;
};

TEST_F(HarnessTest, FindsTheDialogByClassAndCaptionInItsProcessOnly) {
    EXPECT_EQ(gui::TopLevelWindows(process.Id(), L"#32770", kCaption), std::vector<HWND>{dialog});
    EXPECT_EQ(gui::TopLevelWindows(process.Id(), {}, kCaption), std::vector<HWND>{dialog});
    EXPECT_TRUE(gui::TopLevelWindows(process.Id(), L"#32770", L"다른 제목").empty());
    EXPECT_TRUE(gui::TopLevelWindows(process.Id(), L"Edit", kCaption).empty());
    EXPECT_TRUE(gui::TopLevelWindows(GetCurrentProcessId(), L"#32770", kCaption).empty());
    EXPECT_EQ(gui::WaitForWindow(process.Id(), L"#32770", L"다른 제목", 200), nullptr);
    EXPECT_EQ(gui::WindowText(dialog), kCaption);
    EXPECT_EQ(gui::ClassName(dialog), L"#32770");
}

TEST_F(HarnessTest, ReadsSizesAndTheTopmostBit) {
    const SIZE client = gui::ClientSize(dialog);
    EXPECT_EQ(client.cx, DEMO_CLIENT_WIDTH);
    EXPECT_EQ(client.cy, DEMO_CLIENT_HEIGHT);
    const SIZE window = gui::WindowSize(dialog);
    EXPECT_GT(window.cx, client.cx) << "a frame around the client area";
    EXPECT_GT(window.cy, client.cy + 10) << "a caption above the client area";
    EXPECT_TRUE(gui::IsTopmost(dialog));
    EXPECT_FALSE(gui::IsTopmost(GetDlgItem(dialog, IDC_DEMO_NAME)));
    EXPECT_TRUE(gui::IsControlVisible(dialog, IDC_DEMO_NAME));
    EXPECT_FALSE(gui::IsControlVisible(dialog, IDC_DEMO_FLAG));
    EXPECT_FALSE(gui::IsControlVisible(dialog, 4242)) << "no such control";
}

class ClickAt : public HarnessTest, public ::testing::WithParamInterface<POINT> {};

TEST_P(ClickAt, LandsOnTheExactClientPoint) {
    const POINT p = GetParam();
    const std::wstring expected = std::to_wstring(p.x) + L"," + std::to_wstring(p.y);
    gui::ClickClient(dialog, p.x, p.y);
    EXPECT_TRUE(
        gui::WaitUntil(kWaitMs, [&] { return gui::DlgItemTextOf(dialog, IDC_DEMO_CLICK) == expected; }))
        << "echo reads " << testing::PrintToString(gui::DlgItemTextOf(dialog, IDC_DEMO_CLICK));
    EXPECT_TRUE(gui::IsControlVisible(dialog, IDC_DEMO_FLAG));
}

INSTANTIATE_TEST_SUITE_P(Points, ClickAt,
                         ::testing::Values(POINT{0, 0}, POINT{150, 180}, POINT{DEMO_CLIENT_WIDTH - 1, 1},
                                           POINT{7, DEMO_CLIENT_HEIGHT - 1}));

TEST_F(HarnessTest, KoreanTextRoundTrips) {
    const std::wstring text = L"홍길동 😀 & 100% =#+";
    ASSERT_TRUE(gui::SetDlgItemTextOf(dialog, IDC_DEMO_NAME, text));
    EXPECT_EQ(gui::DlgItemTextOf(dialog, IDC_DEMO_NAME), text);
    ASSERT_TRUE(gui::SetDlgItemTextOf(dialog, IDC_DEMO_NAME, L""));
    EXPECT_EQ(gui::DlgItemTextOf(dialog, IDC_DEMO_NAME), L"");
}

enum class Ending { CommandOk, EnterKey, CommandCancel, EscapeKey };

struct EndingCase {
    const char* name;
    Ending ending;
    bool showsBox;
    DWORD exitCode;
};

class DialogEnding : public HarnessTest, public ::testing::WithParamInterface<EndingCase> {};

TEST_P(DialogEnding, EndsTheWayTheDialogManagerWould) {
    const EndingCase& c = GetParam();
    ASSERT_TRUE(gui::SetDlgItemTextOf(dialog, IDC_DEMO_NAME, L"홍길동"));
    HWND focused = gui::FocusedWindow(dialog);
    switch (c.ending) {
    case Ending::CommandOk:
        gui::CommandOk(dialog);
        break;
    case Ending::CommandCancel:
        gui::CommandCancel(dialog);
        break;
    case Ending::EnterKey:
    case Ending::EscapeKey:
        ASSERT_EQ(focused, GetDlgItem(dialog, IDC_DEMO_NAME)) << "keys go to the focused edit";
        gui::PressKey(focused, c.ending == Ending::EnterKey ? VK_RETURN : VK_ESCAPE);
        break;
    }
    if (c.showsBox) {
        HWND box = gui::WaitForMessageBox(process.Id(), kWaitMs, dialog);
        ASSERT_NE(box, nullptr) << "no message box";
        EXPECT_NE(box, dialog);
        EXPECT_EQ(gui::MessageBoxText(box), L"입력: 홍길동");
        EXPECT_EQ(gui::WindowText(box), kCaption);
        EXPECT_TRUE(process.Running()) << "the box holds the dialog open";
        gui::CloseMessageBox(box);
        EXPECT_TRUE(gui::WaitForWindowGone(box, kWaitMs));
    }
    EXPECT_TRUE(gui::WaitForWindowGone(dialog, kWaitMs));
    EXPECT_EQ(process.WaitForExit(kWaitMs), std::optional<DWORD>(c.exitCode));
}

INSTANTIATE_TEST_SUITE_P(
    Endings, DialogEnding,
    ::testing::Values(EndingCase{"command_ok", Ending::CommandOk, true, DEMO_EXIT_OK},
                      EndingCase{"enter_key", Ending::EnterKey, true, DEMO_EXIT_OK},
                      EndingCase{"command_cancel", Ending::CommandCancel, false, DEMO_EXIT_CANCEL},
                      EndingCase{"escape_key", Ending::EscapeKey, false, DEMO_EXIT_CANCEL}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(HarnessTest, NoMessageBoxIsFoundWhereThereIsNone) {
    EXPECT_EQ(gui::WaitForMessageBox(process.Id(), 300), nullptr) << "the dialog itself is no message box";
}

TEST_F(HarnessTest, ReadsThePaintedPixels) {
    ASSERT_TRUE(gui::WaitUntil(kWaitMs, [&] {
        const auto pixels = ClientPixels::Capture(dialog);
        return pixels && pixels->At(DEMO_RED_LEFT, DEMO_RED_TOP) == kRed;
    })) << "the red patch never showed";
    const auto pixels = ClientPixels::Capture(dialog);
    ASSERT_TRUE(pixels.has_value());
    EXPECT_EQ(pixels->Width(), DEMO_CLIENT_WIDTH);
    EXPECT_EQ(pixels->Height(), DEMO_CLIENT_HEIGHT);
    const RECT red = {DEMO_RED_LEFT, DEMO_RED_TOP, DEMO_RED_RIGHT, DEMO_RED_BOTTOM};
    const RECT green = {DEMO_GREEN_LEFT, DEMO_RED_TOP, DEMO_GREEN_RIGHT, DEMO_RED_BOTTOM};
    const int area = (DEMO_RED_RIGHT - DEMO_RED_LEFT) * (DEMO_RED_BOTTOM - DEMO_RED_TOP);
    EXPECT_EQ(pixels->Count(red, kRed), area);
    EXPECT_EQ(pixels->Count(green, kGreen), area);
    EXPECT_EQ(pixels->Count(red, kGreen), 0);
    // Right next to each patch, and far from both, the dialog's own background.
    EXPECT_NE(pixels->At(DEMO_RED_RIGHT, DEMO_RED_TOP), kRed);
    EXPECT_NE(pixels->At(DEMO_RED_LEFT, DEMO_RED_BOTTOM), kRed);
    EXPECT_NE(pixels->At(DEMO_RED_LEFT - 1, DEMO_RED_TOP), kRed);
    EXPECT_EQ(pixels->At(DEMO_CLIENT_WIDTH - 2, DEMO_CLIENT_HEIGHT - 2), pixels->At(DEMO_RED_RIGHT + 2, 2));
}

TEST_F(HarnessTest, ExitWaitTimesOutWhileTheDialogIsOpen) {
    EXPECT_EQ(process.WaitForExit(100), std::nullopt);
    EXPECT_TRUE(process.Running());
    process.Terminate(42);
    EXPECT_FALSE(process.Running());
    EXPECT_EQ(process.WaitForExit(0), std::optional<DWORD>(42));
}

} // namespace

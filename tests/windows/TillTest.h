// The GUI tests' one fixture: QuillonTest.exe (Quillon built for the tests' port) against a
// reset quillon-server with the demo shop as the tests expect it, its login dialog up.
#pragma once

#include "tests/support/Till.h"

#include <gtest/gtest.h>

#include <set>

// Where faults are armed.
inline const std::string kLoginPath = PathOf(kLoginTemplate), kOperationPath = PathOf(kGiveTemplate),
                         kResultPath = PathOf(kGetResultTemplate), kDeletePath = PathOf(kDeleteDataTemplate),
                         kTextPath = PathOf(kTextMessageTemplate);

class TillTest : public ::testing::Test, public Till {
protected:
    TillTest() : Till(QUILLON_TEST_PORT_GUI, L"QuillonTest.exe") {}
    void SetUp() override {
        ASSERT_TRUE(sim.Reset()) << "quillon-server does not answer on port " << sim.Port();
        ASSERT_TRUE(sim.SetShop("demo", "version=2&coins=1500&rate=5"));
        ASSERT_TRUE(StartProgram()) << "no login dialog";
    }

    // Every operation or text-message request went out once, and `operations` operations in all.
    void ExpectNothingSentTwice(int operations) const {
        std::set<std::string> seen;
        int n = 0;
        for (const auto& target : sim.RequestTargets()) {
            const bool isOperation = target.rfind(kOperationPath + "?", 0) == 0;
            n += isOperation;
            if (isOperation || target.rfind(kTextPath + "?", 0) == 0) {
                EXPECT_TRUE(seen.insert(target).second) << "sent twice: " << target;
            }
        }
        EXPECT_EQ(n, operations);
    }

    void ExpectQuietAndRunning() const {
        HWND box = gui::WaitForMessageBox(app.Id(), 0);
        EXPECT_EQ(box, nullptr) << "unexpected message: " << (box ? Narrow(gui::MessageBoxText(box)) : "");
        EXPECT_TRUE(app.Running()) << "the program ended";
    }

    ::testing::AssertionResult Shows(HWND window, const Screen& expected,
                                     const std::vector<RECT>& except = {}) const {
        RECT bounds = {};
        const int differences = Differences(window, expected, except, &bounds);
        if (differences == 0)
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure()
               << differences << " pixels differ, within x " << bounds.left << ".." << bounds.right - 1
               << ", y " << bounds.top << ".." << bounds.bottom - 1;
    }
};

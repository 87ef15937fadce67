// The /app page puts the operations a till is still polling for under the confirm buttons and
// those of tills that went quiet apart, without a button.
#include "server/AppPage.h"

#include <gtest/gtest.h>

namespace {

constexpr std::int64_t kNow = 1'800'000'000'000;

TEST(AppPage, ListsAnOperationUnderTheButtonsWhileItsTillPolls) {
    const struct {
        const char* what;
        std::int64_t openedAgoMs;
        std::int64_t polledAgoMs; // -1: never polled
        bool waiting;
    } cases[] = {
        {"just opened, not polled yet", 1000, -1, true}, {"polling", 60'000, 300, true},
        {"last poll at the limit", 60'000, 5000, true},  {"polls stopped", 60'000, 5001, false},
        {"never polled", 60'000, -1, false},
    };
    for (const auto& c : cases) {
        TillActivity tills;
        if (c.polledAgoMs >= 0)
            tills.Polled("TDEVICE", kNow - c.polledAgoMs);
        tills.Polled("TOTHER", kNow); // another till's polls say nothing about this one
        const Ledger::PendingOperation op{"TDEVICE", "한빛 베이커리", 1, 15000, "5", kNow - c.openedAgoMs};
        const std::string html = AppPage::Render({op}, {{"010-1234-5678", "김하늘"}}, "", tills, kNow);

        const std::size_t row = html.find("TDEVICE");
        const std::size_t apart = html.find("<table id=\"abandoned\"");
        ASSERT_NE(row, std::string::npos) << c.what << ": an open operation is always listed";
        EXPECT_EQ(html.find("/sim/confirm?deviceid=TDEVICE") != std::string::npos, c.waiting) << c.what;
        EXPECT_EQ(apart != std::string::npos && apart < row, !c.waiting) << c.what;
    }
}

} // namespace

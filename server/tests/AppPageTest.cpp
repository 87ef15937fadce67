// The /app page puts the operations a till is still polling for under the confirm buttons and
// those of tills that went quiet apart, without a button.
#include "server/AppPage.h"

#include <gtest/gtest.h>

#include <cctype>

namespace {

constexpr std::int64_t kNow = 1'800'000'000'000;

struct Case {
    const char* what;
    std::int64_t openedAgoMs;
    std::int64_t polledAgoMs; // -1: never polled
    bool waiting;
};

class AppPageWaiting : public ::testing::TestWithParam<Case> {};

TEST_P(AppPageWaiting, ListsTheOperationWhereItBelongs) {
    const Case c = GetParam();
    TillActivity tills;
    if (c.polledAgoMs >= 0)
        tills.Polled("TDEVICE", kNow - c.polledAgoMs);
    tills.Polled("TOTHER", kNow); // another till's polls say nothing about this one
    const Ledger::PendingOperation op{"TDEVICE", "한빛 베이커리", 1, 15000, "5", kNow - c.openedAgoMs};
    const std::string html = AppPage::Render({op}, {{"010-1234-5678", "김하늘"}}, "", tills, kNow);

    const std::size_t row = html.find("TDEVICE");
    const std::size_t apart = html.find("<table id=\"abandoned\"");
    ASSERT_NE(row, std::string::npos) << "an open operation is always listed";
    EXPECT_EQ(html.find("/sim/confirm?deviceid=TDEVICE") != std::string::npos, c.waiting);
    EXPECT_EQ(apart != std::string::npos && apart < row, !c.waiting);
}

INSTANTIATE_TEST_SUITE_P(Cases, AppPageWaiting,
                         ::testing::Values(Case{"just opened, not polled yet", 1000, -1, true},
                                           Case{"polling", 60'000, 300, true},
                                           Case{"last poll at the limit", 60'000, 5000, true},
                                           Case{"polls stopped", 60'000, 5001, false},
                                           Case{"never polled", 60'000, -1, false}),
                         [](const ::testing::TestParamInfo<Case>& param) {
                             std::string name;
                             for (const char* p = param.param.what; *p; ++p)
                                 name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                             return name;
                         });

} // namespace

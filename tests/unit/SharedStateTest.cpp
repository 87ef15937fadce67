// Moving texts into the shared state: whole strings, bounded, nothing else touched.
#include "net/Endpoints.h"
#include "net/ReplyRecord.h"
#include "net/SharedState.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>
#include <thread>

namespace {

// The login's own reply decides and fills the state; nothing of an earlier reply counts.
TEST(SharedState, LoginTakesFieldsOneFourFiveOfItsOwnReply) {
    ResetSharedState();
    ReplyRecord login;
    ApplyReply("1</>dev-7</>가게</>demo</>5</>127.0.0.1:8480</></>2", login);
    ASSERT_TRUE(IsLoginAccepted(login));
    StoreLoginFields(login);
    EXPECT_EQ(std::u16string(g_deviceId), u"dev-7");
    EXPECT_EQ(std::u16string(g_mileageRate), u"5");
    EXPECT_EQ(std::u16string(g_serverHost), u"127.0.0.1:8480");
    // Too short to name a host: refused, though an earlier reply named one in field 5.
    ApplyReply("1</>dev</>n</>s</>3", login);
    EXPECT_FALSE(IsLoginAccepted(login));
    const struct {
        const char* body;
        bool accepted;
    } logins[] = {
        {"1</>d</></></>5</>mileage.example.com</></>2", true},
        {"1</>d</></></>5</>h/x?y</></>2", false},
        {"0</>d</></></>5</>h</></>2", false},
        {" 1</>d</></></>5</>h</></>2", false},
    };
    for (const auto& c : logins) {
        ApplyReply(c.body, login);
        EXPECT_EQ(IsLoginAccepted(login), c.accepted) << c.body;
    }
}

// A transaction starts from an empty table: no screen of it can paint an earlier one's lines.
TEST(SharedState, BeginTransactionEmptiesTheTableAndMovesOn) {
    ResetSharedState();
    ReplyRecord earlier;
    ApplyReply("1</>12</>김민준</>4", earlier);
    LayOver(earlier, g_fields);
    g_txConfirmed = true;
    g_txDone = TxPaySent;
    const std::uint32_t before = g_transaction;
    const std::uint32_t started = BeginTransaction();
    EXPECT_NE(started, before);
    EXPECT_EQ(started, g_transaction.load());
    for (const auto& field : g_fields)
        EXPECT_EQ(field[0], u'\0');
    EXPECT_FALSE(g_txConfirmed.load());
    EXPECT_EQ(g_txDone.load(), 0);
}

TEST(SharedState, SaleInputsAreCutAndReplaceTheRate) {
    ResetSharedState();
    SetSaleInputs(u"1", u"7");
    const std::u16string longText(150, u'9');
    SetSaleInputs(longText.c_str(), u"");
    EXPECT_EQ(std::u16string(g_price), std::u16string(99, u'9'));
    EXPECT_EQ(std::u16string(g_mileageRate), u"");
}

// A poller pausing in WaitForStopPolling is woken by the raise, not by its pause running out: the
// pause is far longer than the test waits for the waiter.
TEST(SharedState, StopFlagWakesAWaiterAndClears) {
    ClearStopPolling();
    EXPECT_FALSE(WaitForStopPolling(1));
    std::promise<void> waiting;
    auto woken = std::async(std::launch::async, [&] {
        waiting.set_value();
        return WaitForStopPolling(120000);
    });
    waiting.get_future().wait();
    std::this_thread::sleep_for(std::chrono::milliseconds(100)); // into its wait
    RaiseStopPolling();
    ASSERT_EQ(woken.wait_for(std::chrono::seconds(30)), std::future_status::ready) << "the raise woke nobody";
    EXPECT_TRUE(woken.get());
    ClearStopPolling();
    EXPECT_EQ(g_stopPolling.load(), 0);
}

} // namespace

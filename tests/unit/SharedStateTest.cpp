// Moving texts into the shared state: whole strings, bounded, nothing else touched.
#include "net/ReplyRecord.h"
#include "net/SharedState.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(SharedState, StoreLoginFieldsTakesFieldsOneFourFive) {
    ResetSharedState();
    ApplyReply("1</>dev-7</>가게</>demo</>5</>127.0.0.1:8480</></>2", g_fields);
    StoreLoginFields();
    EXPECT_EQ(std::u16string(g_deviceId), u"dev-7");
    EXPECT_EQ(std::u16string(g_mileageRate), u"5");
    EXPECT_EQ(std::u16string(g_serverHost), u"127.0.0.1:8480");
    ResetSharedState();
    ApplyReply("1</>dev</>n</>s</>3", g_fields); // too short to name a host
    StoreLoginFields();
    EXPECT_EQ(std::u16string(g_serverHost), u"");
    EXPECT_EQ(std::u16string(g_mileageRate), u"3");
}

TEST(SharedState, SaleInputsReplaceRateAndKeepPriceAsTyped) {
    ResetSharedState();
    EXPECT_EQ(SetSaleInputs(u" 1,000", u"7"), 0);
    EXPECT_EQ(std::u16string(g_price), u" 1,000");
    EXPECT_EQ(std::u16string(g_mileageRate), u"7");
    const std::u16string longText(150, u'9');
    SetSaleInputs(longText.c_str(), u"");
    EXPECT_EQ(std::u16string(g_price), std::u16string(99, u'9'));
    EXPECT_EQ(std::u16string(g_mileageRate), u"");
}

TEST(SharedState, StopFlagWakesAWaiterAndClears) {
    ClearStopPolling();
    EXPECT_FALSE(WaitForStopPolling(1));
    RaiseStopPolling();
    EXPECT_EQ(g_stopPolling.load(), 1);
    EXPECT_TRUE(WaitForStopPolling(10000));
    ClearStopPolling();
    EXPECT_EQ(g_stopPolling.load(), 0);
}

} // namespace

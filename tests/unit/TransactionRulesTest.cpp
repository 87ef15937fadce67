// The amount rule, the coin balance parse and the mark tag.
#include "dialogs/TransactionRules.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(TransactionRules, Amounts) {
    for (const char16_t* text : {u"", u"-0", u"abc", u"1e-50", u"0x10", u"inf", u"nan", u"한글"})
        EXPECT_EQ(ReadAmount(text), 0.0f);
    const struct {
        const char16_t* text;
        float value;
    } cases[] = {{u"-500", -500}, {u"12abc", 12}, {u" 1,000", 1}, {u".5", 0.5f}, {u"5.", 5}, {u"1e3", 1000},
                 {u"2e", 2},      {u"3e+", 3},    {u"\t\n7", 7}, {u"1e-40", 1e-40f}};
    for (const auto& c : cases)
        EXPECT_FLOAT_EQ(ReadAmount(c.text), c.value);
}

TEST(TransactionRules, CoinBalanceSaturates) {
    const struct {
        const char16_t* text;
        std::int32_t value;
    } cases[] = {{u"1500", 1500},  {u" 42abc", 42}, {u"-5", -5}, {u"", 0}, {u"+7", 7}, {u"--7", 0}, {u"1 2", 1},
                 {u"2147483648", 2147483647}, {u"99999999999999999999", 2147483647},
                 {u"-2147483648", -2147483647 - 1}, {u"-99999999999", -2147483647 - 1}};
    for (const auto& c : cases)
        EXPECT_EQ(ParseCoinPoints(c.text), c.value);
}

TEST(MarkTag, LowThirtyTwoBitsSigned) {
    EXPECT_EQ(MarkTagFromTime(2147483647), 2147483647);
    EXPECT_EQ(MarkTagFromTime(2147483648LL), -2147483647 - 1); // 19 January 2038
    EXPECT_EQ(MarkTagFromTime(4294967296LL + 5), 5);
}

} // namespace

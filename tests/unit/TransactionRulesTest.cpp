// The amount rule, the coin balance parse and the mark tag.
#include "dialogs/TransactionRules.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct AmountCase {
    std::u16string text;
    bool readsAsZero;
    float value;
};

class AmountTest : public ::testing::TestWithParam<AmountCase> {};

TEST_P(AmountTest, Reads) {
    const float value = ReadAmount(GetParam().text.c_str());
    EXPECT_EQ(value == 0.0f, GetParam().readsAsZero);
    if (!GetParam().readsAsZero) {
        EXPECT_FLOAT_EQ(value, GetParam().value);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Amounts, AmountTest,
    ::testing::Values(AmountCase{u"", true, 0}, AmountCase{u" ", true, 0}, AmountCase{u"0", true, 0},
                      AmountCase{u"0.00", true, 0}, AmountCase{u"abc", true, 0}, AmountCase{u"1e-50", true, 0},
                      AmountCase{u"-0", true, 0}, AmountCase{u".", true, 0}, AmountCase{u"+", true, 0},
                      AmountCase{u"0x10", true, 0}, AmountCase{u"inf", true, 0}, AmountCase{u"nan", true, 0},
                      AmountCase{u"한글", true, 0}, AmountCase{u"-500", false, -500},
                      AmountCase{u"12abc", false, 12}, AmountCase{u" 1,000", false, 1},
                      AmountCase{u"15000", false, 15000}, AmountCase{u".5", false, 0.5f},
                      AmountCase{u"5.", false, 5}, AmountCase{u"1e3", false, 1000}, AmountCase{u"2e", false, 2},
                      AmountCase{u"3e+", false, 3}, AmountCase{u"\t\n7", false, 7}, AmountCase{u"1e-40", false, 1e-40f}));

struct CoinCase {
    std::u16string text;
    std::int32_t value;
};

class CoinTest : public ::testing::TestWithParam<CoinCase> {};

TEST_P(CoinTest, Parses) { EXPECT_EQ(ParseCoinPoints(GetParam().text.c_str()), GetParam().value); }

INSTANTIATE_TEST_SUITE_P(Coins, CoinTest,
                         ::testing::Values(CoinCase{u"1500", 1500}, CoinCase{u" 42abc", 42}, CoinCase{u"-5", -5},
                                           CoinCase{u"", 0}, CoinCase{u"abc", 0}, CoinCase{u"+7", 7},
                                           CoinCase{u"--7", 0}, CoinCase{u"2147483647", 2147483647},
                                           CoinCase{u"2147483648", 2147483647},
                                           CoinCase{u"99999999999999999999", 2147483647},
                                           CoinCase{u"-2147483648", -2147483647 - 1},
                                           CoinCase{u"-99999999999", -2147483647 - 1}, CoinCase{u"1 2", 1}));

TEST(MarkTag, LowThirtyTwoBitsSigned) {
    EXPECT_EQ(MarkTagFromTime(1800000000), 1800000000);
    EXPECT_EQ(MarkTagFromTime(2147483647), 2147483647);
    EXPECT_EQ(MarkTagFromTime(2147483648LL), -2147483647 - 1); // 19 January 2038
    EXPECT_EQ(MarkTagFromTime(4294967296LL + 5), 5);
}

} // namespace

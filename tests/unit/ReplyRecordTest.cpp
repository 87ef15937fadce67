// The reply-record rules: field split, result code, carry-over of untouched fields, and the
// limits that keep any reply inside its buffers.
#include "net/ReplyRecord.h"
#include "net/Text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using Table = char16_t[30][100];

void Fill(Table& table, std::u16string_view text) {
    for (auto& field : table)
        quillon::CopyText(field, text);
}

std::vector<std::u16string> Fields(const Table& table, int count) {
    std::vector<std::u16string> out;
    for (int i = 0; i < count; ++i)
        out.emplace_back(table[i]);
    return out;
}

struct SplitCase {
    const char* name;
    std::string body;
    int result;
    std::vector<std::u16string> firstFields; // fields 0.. as they must read afterwards
};

class SplitTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitTest, SplitsOverEarlierReply) {
    const SplitCase& c = GetParam();
    Table table;
    Fill(table, u"old");
    EXPECT_EQ(ApplyReply(c.body, table), c.result);
    EXPECT_EQ(Fields(table, static_cast<int>(c.firstFields.size())), c.firstFields);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, SplitTest,
    ::testing::Values(
        SplitCase{"single_one", "1", 1, {u"1", u"old", u"old"}},
        SplitCase{"refusal_01", "01</>x", 0, {u"01", u"x", u"old"}},
        SplitCase{"blank_then_zero_accepted", " 0", 1, {u" 0", u"old"}},
        SplitCase{"empty_body", "", 1, {u"", u"old", u"old"}},
        SplitCase{"trailing_separator_clears", "1</>a</>", 1, {u"1", u"a", u"", u"old"}},
        SplitCase{"double_separator", "1</></>b", 1, {u"1", u"", u"b", u"old"}},
        SplitCase{"lone_lt_is_text", "1</>a<b</>c</", 1, {u"1", u"a<b", u"c</", u"old"}},
        SplitCase{"lt_slash_at_end", "1</>x<", 1, {u"1", u"x<", u"old"}},
        SplitCase{"korean_syllable_one_unit", "1</>\xEA\xB3\xA0\xEA\xB0\x9D", 1, {u"1", u"고객", u"old"}},
        SplitCase{"zero_byte_ends_body", std::string("1</>ab\0</>cd", 12), 1, {u"1", u"ab", u"old"}},
        SplitCase{"leading_zero_byte", std::string("\0" "0</>x", 6), 1, {u"", u"old"}},
        SplitCase{"empty_field0_accepted", "</>5", 1, {u"", u"5", u"old"}}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(ReplyRecord, ShorterReplyKeepsLaterFieldsOfEarlierReply) {
    Table table{};
    ApplyReply("1</>a</>b</>c</>d</>e</>f</>g</>h</>i", table);
    ApplyReply("1</>x</>y", table);
    EXPECT_EQ(Fields(table, 10), (std::vector<std::u16string>{u"1", u"x", u"y", u"c", u"d", u"e", u"f", u"g", u"h",
                                                               u"i"}));
}

TEST(ReplyRecord, FieldsPastTheThirtiethAreDropped) {
    std::string body = "1";
    for (int i = 1; i < 40; ++i)
        body += "</>f" + std::to_string(i);
    Table table{};
    EXPECT_EQ(ApplyReply(body, table), 1);
    EXPECT_EQ(std::u16string(table[29]), u"f29");
}

TEST(ReplyRecord, LongFieldIsCutAtNinetyNineUnits) {
    Table table{};
    ApplyReply("1</>" + std::string(200, 'x') + "</>next", table);
    EXPECT_EQ(std::u16string(table[1]), std::u16string(99, u'x'));
    EXPECT_EQ(std::u16string(table[2]), u"next");
}

TEST(ReplyRecord, FieldCutNeverSplitsSurrogatePair) {
    // 98 ASCII units, then U+1F600 (two units) would need units 98 and 99: it is dropped whole.
    Table table{};
    ApplyReply("1</>" + std::string(98, 'a') + "\xF0\x9F\x98\x80" + "z", table);
    EXPECT_EQ(quillon::BoundedLength(table[1], 100), 98u);
}

struct BodyCase {
    const char* name;
    std::string body;
    std::u16string text;
};

class DecodeTest : public ::testing::TestWithParam<BodyCase> {};

TEST_P(DecodeTest, Decodes) { EXPECT_EQ(DecodeReplyBody(GetParam().body), GetParam().text); }

INSTANTIATE_TEST_SUITE_P(
    Bodies, DecodeTest,
    ::testing::Values(BodyCase{"ascii", "abc", u"abc"}, BodyCase{"hangul", "\xED\x95\x9C", u"한"},
                      BodyCase{"four_byte_pair", "\xF0\x9F\x98\x80", u"\U0001F600"},
                      BodyCase{"lone_continuation", "a\x80" "b", u"a\uFFFDb"},
                      BodyCase{"truncated_sequence", "a\xED\x95", u"a\uFFFD"},
                      BodyCase{"overlong_slash", "\xC0\xAF", u"\uFFFD\uFFFD"},
                      BodyCase{"encoded_surrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
                      BodyCase{"above_max", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
                      BodyCase{"ff_byte", "\xFF" "1", u"\uFFFD1"}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(ReplyRecord, BodyIsCutAt2047BytesWithoutSplittingASequence) {
    // 2046 ASCII bytes then a 3-byte syllable: bytes 2046..2048 would straddle the cut.
    const std::string body = std::string(2046, 'a') + "\xED\x95\x9C" + "tail";
    EXPECT_EQ(DecodeReplyBody(body), std::u16string(2046, u'a').substr(0, 999));
    std::string exact = std::string(2044, 'a') + "\xED\x95\x9C" + "zz";
    const std::u16string text = DecodeReplyBody(exact);
    EXPECT_EQ(text.size(), 999u); // the 999-unit cut comes first here
}

TEST(ReplyRecord, ConvertedTextIsCutAt999Units) {
    std::string body;
    for (int i = 0; i < 600; ++i)
        body += "\xED\x95\x9C"; // 1800 bytes, 600 units
    EXPECT_EQ(DecodeReplyBody(body).size(), 600u);
    body.clear();
    for (int i = 0; i < 500; ++i)
        body += "\xF0\x9F\x98\x80"; // 2000 bytes, 1000 units in pairs: the 999 cut drops a half
    const std::u16string text = DecodeReplyBody(body);
    EXPECT_EQ(text.size(), 998u);
    EXPECT_TRUE(text.back() >= 0xDC00 && text.back() <= 0xDFFF);
}

TEST(ReplyRecord, HugeBodyFitsInTable) {
    Table table{};
    std::string body(5000, 'z');
    for (int i = 0; i < 200; ++i)
        body += "</>";
    EXPECT_EQ(ApplyReply(body, table), 1);
    EXPECT_EQ(std::u16string(table[0]), std::u16string(99, u'z'));
}

} // namespace

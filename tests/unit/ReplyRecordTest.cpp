// The reply-record rules over the shared table of bodies: field split, result code, the carry-over
// of untouched fields, and the limits that keep any reply inside its buffers.
#include "net/ReplyRecord.h"
#include "net/Text.h"
#include "tests/unit/ReplyBodies.h"

#include <gtest/gtest.h>

namespace {

using Table = char16_t[30][100];

class Reply : public ::testing::TestWithParam<ReplyBody> {};

TEST_P(Reply, LeavesItsFields) {
    const ReplyBody& c = GetParam();
    Table table;
    for (auto& field : table)
        quillon::CopyText(field, u"old");
    EXPECT_EQ(ApplyReply(c.body, table), c.result);
    for (std::size_t i = 0; i < c.fields.size(); ++i)
        EXPECT_EQ(std::u16string(table[i]), c.fields[i]) << "field " << i;
    // Every field stays terminated inside its 100 units, whatever the body.
    for (const auto& field : table)
        EXPECT_LT(quillon::BoundedLength(field, 100), 100u);
}

INSTANTIATE_TEST_SUITE_P(Bodies, Reply, ::testing::ValuesIn(ReplyBodies()),
                         [](const auto& param) { return std::string(param.param.name); });

TEST(ReplyRecord, UnitCutNeverLeavesAHalfPair) {
    std::string body;
    for (int i = 0; i < 500; ++i)
        body += "\xF0\x9F\x98\x80"; // 1000 units in pairs: unit 999 would be a lone high half
    const std::u16string text = DecodeReplyBody(body);
    EXPECT_EQ(text.size(), 998u);
    EXPECT_TRUE(text.back() >= 0xDC00 && text.back() <= 0xDFFF);
}

} // namespace

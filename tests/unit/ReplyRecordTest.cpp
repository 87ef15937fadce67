// The reply-record rules over the shared table of bodies: field split, result code, the carry-over
// of untouched fields, and the limits that keep any reply inside its buffers.
#include "net/ReplyRecord.h"
#include "net/Text.h"
#include "tests/unit/ReplyBodies.h"

#include <gtest/gtest.h>

namespace {

class Body : public ::testing::TestWithParam<ReplyBody> {};

// The reply's own record, then laid over a table an earlier reply filled: the fields the reply
// reached read as the row says, the first one it did not reach reads "old" over the table and
// empty in the reply's own record.
TEST_P(Body, LeavesItsFields) {
    const ReplyBody& c = GetParam();
    ReplyRecord reply;
    EXPECT_EQ(ApplyReply(c.body, reply), c.result);
    char16_t table[30][100];
    for (auto& field : table)
        quillon::CopyText(field, u"old");
    LayOver(reply, table);
    for (std::size_t i = 0; i < c.fields.size(); ++i) {
        const int n = static_cast<int>(i);
        EXPECT_EQ(std::u16string(table[i]), c.fields[i]) << "field " << i;
        EXPECT_EQ(reply.Field(n), c.fields[i] == u"old" ? u"" : c.fields[i]) << "field " << i;
        EXPECT_EQ(n < reply.count, c.fields[i] != u"old") << "field " << i;
    }
    // Every field stays terminated inside its 100 units, whatever the body.
    for (const auto& field : table)
        EXPECT_LT(quillon::BoundedLength(field, 100), 100u);
}

INSTANTIATE_TEST_SUITE_P(Bodies, Body, ::testing::ValuesIn(ReplyBodies()),
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

// Replies no sane server sends, answered by the server's body fault, so that they travel the real
// transport of each backend: invalid UTF-8, too many fields, over-long fields, oversized bodies and
// zero bytes all stay inside the record's limits.
#include "ServerTest.h"

namespace {

constexpr char kPath[] = "/android/pcposgetmilegeret.php";

// The pieces one after the other.
std::string Join(std::initializer_list<std::string_view> pieces) {
    std::string out;
    for (const std::string_view piece : pieces)
        out.append(piece);
    return out;
}

std::string Repeat(std::string_view piece, int times) {
    std::string out;
    for (int i = 0; i < times; ++i)
        out += piece;
    return out;
}

std::u16string Repeat16(std::u16string_view piece, int times) {
    std::u16string out;
    for (int i = 0; i < times; ++i)
        out += piece;
    return out;
}

std::string NumberedFields(int count) {
    std::string body = "1";
    for (int i = 1; i < count; ++i)
        body.append("</>f").append(std::to_string(i));
    return body;
}

// 2 + 53 x 93 bytes: the 2047-byte cut falls 2 bytes into a syllable of field 22.
std::string KoreanFiveKb() {
    return Join({"1x", Repeat(Join({"</>", Repeat("가", 30)}), 53)});
}

// 1 + 49 x 102 bytes of ASCII: the 999-unit cut of the converted text ends inside field 10.
std::string AsciiFiveKb() {
    return Join({"1", Repeat(Join({"</>", std::string(99, 'a')}), 49)});
}

struct MalformedCase {
    const char* name;
    std::string body;
    int result;
    // Fields 0.. as they must read afterwards; every later field keeps the earlier reply.
    std::vector<std::u16string> fields;
};

std::vector<std::u16string> Numbered(int from, int to) {
    std::vector<std::u16string> out;
    for (int i = from; i <= to; ++i)
        out.push_back(U16(Join({"f", std::to_string(i)})));
    return out;
}

std::vector<std::u16string> Concat(std::vector<std::u16string> a, const std::vector<std::u16string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<MalformedCase> Cases() {
    const std::u16string bad = u"\uFFFD";
    std::vector<MalformedCase> cases = {
        {"invalid_byte",
         "1</>a\xFF"
         "b",
         1,
         {u"1", u"a" + bad + u"b"}},
        {"truncated_sequence_then_ascii", "1</>\xC3(</>x", 1, {u"1", bad + u"(", u"x"}},
        {"encoded_surrogate", "1</>\xED\xA0\x80", 1, {u"1", bad + bad + bad}},
        {"overlong_slash", "1</>\xC0\xAF", 1, {u"1", bad + bad}},
        {"sequence_cut_by_the_end", "1</>\xEA\xB3", 1, {u"1", bad}},
        {"korean_and_emoji_intact", "1</>고객</>😀", 1, {u"1", u"고객", u"😀"}},
        {"zero_byte_ends_the_body", std::string("1</>ab\0cd</>ef", 14), 1, {u"1", u"ab"}},
        {"refusal_in_korean", "0</>거절", 0, {u"0", u"거절"}},
        {"forty_fields_keep_thirty", NumberedFields(40), 1, Concat({u"1"}, Numbered(1, 29))},
        {"ascii_field_of_200",
         Join({"1</>", std::string(200, 'a'), "</>z"}),
         1,
         {u"1", std::u16string(99, u'a'), u"z"}},
        {"korean_field_of_200",
         Join({"1</>", Repeat("가", 200), "</>z"}),
         1,
         {u"1", Repeat16(u"가", 99), u"z"}},
        {"emoji_field_never_split", Join({"1</>", Repeat("😀", 60)}), 1, {u"1", Repeat16(u"😀", 49)}},
    };

    MalformedCase korean{"korean_5kb_cut_at_2047_bytes", KoreanFiveKb(), 1, {u"1x"}};
    for (int i = 1; i <= 21; ++i)
        korean.fields.push_back(Repeat16(u"가", 30));
    korean.fields.push_back(Repeat16(u"가", 29));
    cases.push_back(korean);

    MalformedCase ascii{"ascii_5kb_cut_at_999_units", AsciiFiveKb(), 1, {u"1"}};
    for (int i = 1; i <= 9; ++i)
        ascii.fields.push_back(std::u16string(99, u'a'));
    ascii.fields.push_back(std::u16string(77, u'a'));
    cases.push_back(ascii);
    return cases;
}

class MalformedReply : public ServerTest, public ::testing::WithParamInterface<MalformedCase> {};

TEST_P(MalformedReply, StaysInsideTheRecordLimits) {
    const MalformedCase& c = GetParam();
    ASSERT_TRUE(sim.ArmFault(kPath, "body", c.body));
    FillFields();
    EXPECT_EQ(Send(Url(std::string(kPath) + "?deviceid=x")), c.result);
    auto expected = AllSentinel();
    std::copy(c.fields.begin(), c.fields.end(), expected.begin());
    EXPECT_EQ(Fields(), expected);
}

INSTANTIATE_TEST_SUITE_P(Bodies, MalformedReply, ::testing::ValuesIn(Cases()),
                         [](const auto& param) { return std::string(param.param.name); });

} // namespace

// Reply bodies at and past the reply record's limits, with the fields they must leave in a table
// whose every field held "old". The unit tests check each row; tests/fuzz/make_corpus.py turns the
// same rows into the fuzzer's seeds, so both start from one set of edges.
#pragma once

#include <string>
#include <vector>

using namespace std::string_literals;

struct ReplyBody {
    const char* name;
    std::string body;
    int result;
    std::vector<std::u16string> fields; // fields 0.. as they read afterwards
};

// 20 fields of 33 syllables (99 bytes each), then "a" and a syllable across bytes 2045..2047: the
// byte cut, not the 999-unit cut, decides this body's end.
inline std::string AcrossTheByteCut() {
    std::string body = "1";
    for (int i = 0; i < 20; ++i) {
        body += "</>";
        for (int k = 0; k < 33; ++k)
            body += "\xED\x95\x9C";
    }
    return body + "</>a\xED\x95\x9Ctail";
}

inline std::vector<std::u16string> AcrossTheByteCutFields() {
    std::vector<std::u16string> fields(21, std::u16string(33, u'한'));
    fields[0] = u"1";
    fields.push_back(u"a");
    fields.push_back(u"old");
    return fields;
}

inline std::vector<std::u16string> ThirtyFields() {
    std::vector<std::u16string> fields(30, u"f");
    fields[0] = u"1";
    return fields;
}

inline std::string Repeated(const std::string& piece, int n) {
    std::string out;
    while (n-- > 0)
        out += piece;
    return out;
}

inline const std::vector<ReplyBody>& ReplyBodies() {
    static const std::vector<ReplyBody> rows = {
        // clang-format off
        {"single_one", "1", 1, {u"1", u"old"}},
        {"refusal_01", "01</>x", 0, {u"01", u"x", u"old"}},
        {"blank_then_zero_accepted", " 0", 1, {u" 0", u"old"}},
        {"empty_body", "", 1, {u"", u"old"}},
        {"trailing_separator_clears", "1</>a</>", 1, {u"1", u"a", u"", u"old"}},
        {"double_separator", "1</></>b", 1, {u"1", u"", u"b", u"old"}},
        {"lone_lt_is_text", "1</>a<b</>c</", 1, {u"1", u"a<b", u"c</", u"old"}},
        {"korean", "1</>\xEA\xB3\xA0\xEA\xB0\x9D", 1, {u"1", u"고객", u"old"}},
        {"zero_byte_ends_body", "1</>ab\0</>cd"s, 1, {u"1", u"ab", u"old"}},
        {"leading_zero_byte", "\0" "0</>x"s, 1, {u"", u"old"}},
        {"lone_continuation", "1</>a\x80" "b", 1, {u"1", u"a\uFFFDb"}},
        {"truncated_sequence", "1</>a\xED\x95", 1, {u"1", u"a\uFFFD"}},
        {"overlong_slash", "1</>\xC0\xAF", 1, {u"1", u"\uFFFD\uFFFD"}},
        {"encoded_surrogate", "1</>\xED\xA0\x80", 1, {u"1", u"\uFFFD\uFFFD\uFFFD"}},
        {"above_max", "1</>\xF4\x90\x80\x80", 1, {u"1", u"\uFFFD\uFFFD\uFFFD\uFFFD"}},
        {"four_byte_pair", "1</>\xF0\x9F\x98\x80", 1, {u"1", u"\U0001F600"}},
        {"field_cut_at_99", "1</>"s + std::string(200, 'x') + "</>next"s, 1, {u"1", std::u16string(99, u'x'), u"next"}},
        {"field_cut_keeps_pairs", "1</>"s + std::string(98, 'a') + "\xF0\x9F\x98\x80z", 1, {u"1", std::u16string(98, u'a')}},
        {"thirty_fields", "1"s + Repeated("</>f", 29) + "</>dropped", 1, ThirtyFields()},
        {"byte_cut_at_2047", AcrossTheByteCut(), 1, AcrossTheByteCutFields()},
        {"unit_cut_at_999", "1</>"s + std::string(992, 'b') + "</>zz", 1, {u"1", std::u16string(99, u'b'), u"", u"old"}},
        // clang-format on
    };
    return rows;
}

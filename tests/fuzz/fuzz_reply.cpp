// libFuzzer target over everything that turns outside bytes into our buffers or our buffers into
// URLs: the reply record (decode, split, apply), the two UTF conversions, the URL formatters and the
// percent-encoder. Every mode checks properties against small reference models written here from
// the rules (Unicode's maximal-subpart rule, the field split, the fit-or-refuse rule of the
// formatters) and aborts on the first one that does not hold.
//
// The first input byte picks the mode (low three bits); the rest is the mode's input:
//   0 ApplyReply on the body bytes, over a field table left by an earlier reply
//   1 DecodeReplyBody and Utf8ToUtf16 on the bytes, with the UTF-8 round trip
//   2 Utf16ToUtf8 on UTF-16LE units
//   3 SplitReply on UTF-16LE units, surrogates and zeros included
//   4 the endpoint URLs and the login URL from the shared state (UTF-16LE values split at 0)
//   5 FormatUrl with a fuzzed template, arguments and capacity
//   6 FormatUrlA with the cancel-notice template and with a fuzzed narrow template
//   7 PercentEncode and PercentEncodeA
#include "net/Endpoints.h"
#include "net/ReplyRecord.h"
#include "net/SharedState.h"
#include "net/Text.h"
#include "net/UrlFormat.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

using Table = char16_t[30][100];

void Require(bool holds, const char* property) {
    if (!holds) {
        std::fprintf(stderr, "fuzz_reply: property violated: %s\n", property);
        std::abort();
    }
}

// ---- Reference models -------------------------------------------------------------------------

constexpr char16_t kReplacement = 0xFFFD;

bool IsHigh(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLow(char16_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}
bool IsContinuation(unsigned char b) {
    return (b & 0xC0) == 0x80;
}

void PushCodePoint(std::u16string& out, char32_t cp) {
    if (cp >= 0x10000) {
        out.push_back(static_cast<char16_t>(0xD800 | ((cp - 0x10000) >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 | ((cp - 0x10000) & 0x3FF)));
    } else {
        out.push_back(static_cast<char16_t>(cp));
    }
}

// Length of the form a lead byte announces: 1 to 4, 0 for a byte that cannot start one.
int FormLength(unsigned char lead) {
    if (lead < 0x80)
        return 1;
    if ((lead & 0xE0) == 0xC0)
        return 2;
    if ((lead & 0xF0) == 0xE0)
        return 3;
    if ((lead & 0xF8) == 0xF0)
        return 4;
    return 0;
}

// Whether some well-formed `length`-byte sequence starts with the k bytes at `b` (a lead byte and
// k - 1 continuation bytes): the code points such a prefix can still reach form one interval, which
// must meet the range of that length (no overlong form, nothing above U+10FFFF) outside the
// surrogates.
bool CanStartWellFormed(const unsigned char* b, int k, int length) {
    static constexpr char32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
    static constexpr char32_t kMax[] = {0, 0x7F, 0x7FF, 0xFFFF, 0x10FFFF};
    char32_t lo = b[0] & (0x7F >> length);
    for (int i = 1; i < k; ++i)
        lo = (lo << 6) | (b[i] & 0x3F);
    const int open = 6 * (length - k);
    lo <<= open;
    char32_t hi = lo | ((char32_t{1} << open) - 1);
    lo = std::max(lo, kMin[length]);
    hi = std::min(hi, kMax[length]);
    return lo <= hi && !(lo >= 0xD800 && hi <= 0xDFFF);
}

struct Decoded {
    std::u16string text;
    bool wellFormed = true;
};

// UTF-8 to UTF-16 by the maximal-subpart rule: at each error, the longest run of bytes that still
// begins some well-formed sequence becomes one U+FFFD (a byte that begins none becomes one alone).
Decoded ReferenceDecode(std::string_view bytes) {
    Decoded out;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    for (std::size_t i = 0; i < n;) {
        const int length = FormLength(p[i]);
        if (length == 1) {
            out.text.push_back(p[i++]);
            continue;
        }
        int k = 1;
        if (length > 1 && CanStartWellFormed(p + i, 1, length))
            while (k < length && i + k < n && IsContinuation(p[i + k]) &&
                   CanStartWellFormed(p + i, k + 1, length))
                ++k;
        if (length > 1 && k == length) {
            char32_t cp = p[i] & (0x7F >> length);
            for (int j = 1; j < length; ++j)
                cp = (cp << 6) | (p[i + j] & 0x3F);
            PushCodePoint(out.text, cp);
        } else {
            out.text.push_back(kReplacement);
            out.wellFormed = false;
        }
        i += k;
    }
    return out;
}

// The text with every unpaired surrogate replaced by U+FFFD.
std::u16string Scrub(std::u16string_view text) {
    std::u16string out(text);
    for (std::size_t i = 0; i < out.size(); ++i) {
        if (IsHigh(out[i]) && i + 1 < out.size() && IsLow(out[i + 1]))
            ++i;
        else if (IsHigh(out[i]) || IsLow(out[i]))
            out[i] = kReplacement;
    }
    return out;
}

bool IsWellFormedUtf16(std::u16string_view text) {
    return Scrub(text) == text;
}

std::string ReferenceEncode(std::u16string_view text) {
    const std::u16string clean = Scrub(text);
    std::string out;
    for (std::size_t i = 0; i < clean.size(); ++i) {
        char32_t cp = clean[i];
        if (IsHigh(clean[i]))
            cp = 0x10000 + ((cp - 0xD800) << 10) + (clean[++i] - 0xDC00);
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

bool IsUnreservedByte(unsigned c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

int HexValue(unsigned c) {
    if (c >= '0' && c <= '9')
        return static_cast<int>(c - '0');
    if (c >= 'A' && c <= 'F')
        return static_cast<int>(c - 'A' + 10);
    return -1; // lower-case hex is not what we send
}

// Percent-decodes a value that must consist of unreserved characters and %XX only, where no %XX
// stands for an unreserved byte. Anything else is nullopt.
template <typename CharT> std::optional<std::string> PercentDecode(std::basic_string_view<CharT> encoded) {
    std::string bytes;
    for (std::size_t i = 0; i < encoded.size(); ++i) {
        const auto c = static_cast<std::make_unsigned_t<CharT>>(encoded[i]);
        if (IsUnreservedByte(c)) {
            bytes += static_cast<char>(c);
            continue;
        }
        if (c != '%' || i + 2 >= encoded.size())
            return std::nullopt;
        const int hi = HexValue(static_cast<std::make_unsigned_t<CharT>>(encoded[i + 1]));
        const int lo = HexValue(static_cast<std::make_unsigned_t<CharT>>(encoded[i + 2]));
        if (hi < 0 || lo < 0 || IsUnreservedByte(static_cast<unsigned>(hi * 16 + lo)))
            return std::nullopt;
        bytes += static_cast<char>(hi * 16 + lo);
        i += 2;
    }
    return bytes;
}

// Length of the end of `out` from `pos` that an encoded value can occupy.
template <typename CharT> std::size_t EncodedRun(std::basic_string_view<CharT> out, std::size_t pos) {
    std::size_t end = pos;
    while (end < out.size()) {
        const auto c = static_cast<std::make_unsigned_t<CharT>>(out[end]);
        if (IsUnreservedByte(c))
            ++end;
        else if (c == '%' && end + 2 < out.size())
            end += 3;
        else
            break;
    }
    return end - pos;
}

// The encoded size of a wide value, counted from its code points rather than from an encoding.
std::size_t EncodedUnits(std::u16string_view text) {
    const std::u16string clean = Scrub(text);
    std::size_t n = 0;
    for (std::size_t i = 0; i < clean.size(); ++i) {
        const char16_t c = clean[i];
        if (c < 0x80)
            n += IsUnreservedByte(c) ? 1 : 3;
        else if (c < 0x800)
            n += 6;
        else if (IsHigh(c))
            n += 12, ++i;
        else
            n += 9;
    }
    return n;
}

// The field split as a plain scan: every "</>" starts a new field, nothing is dropped or cut.
std::vector<std::u16string> ReferenceSplit(std::u16string_view text) {
    std::vector<std::u16string> fields(1);
    for (std::size_t i = 0; i < text.size();) {
        if (i + 2 < text.size() && text[i] == u'<' && text[i + 1] == u'/' && text[i + 2] == u'>') {
            fields.emplace_back();
            i += 3;
        } else {
            fields.back().push_back(text[i++]);
        }
    }
    return fields;
}

// What `limit` units keep of `text`: the longest prefix within the limit that does not end between
// a high surrogate and the low surrogate after it.
std::u16string_view KeptPrefix(std::u16string_view text, std::size_t limit) {
    if (text.size() <= limit)
        return text;
    std::size_t n = limit;
    if (IsHigh(text[limit - 1]) && IsLow(text[limit]))
        n = limit - 1;
    return text.substr(0, n);
}

template <typename CharT> std::u16string Widen(std::basic_string_view<CharT> text) {
    std::u16string out;
    for (const CharT c : text)
        out.push_back(static_cast<char16_t>(static_cast<std::make_unsigned_t<CharT>>(c)));
    return out;
}

// ---- Input helpers ----------------------------------------------------------------------------

std::u16string Units(const std::uint8_t* data, std::size_t size) {
    std::u16string out;
    for (std::size_t i = 0; i + 1 < size; i += 2)
        out.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
    return out;
}

template <typename CharT>
std::vector<std::basic_string<CharT>> SplitAtZero(std::basic_string_view<CharT> text) {
    std::vector<std::basic_string<CharT>> pieces(1);
    for (const CharT c : text) {
        if (c == 0)
            pieces.emplace_back();
        else
            pieces.back().push_back(c);
    }
    return pieces;
}

template <typename T> const T& Piece(const std::vector<T>& pieces, std::size_t i) {
    static const T kEmpty{};
    return i < pieces.size() ? pieces[i] : kEmpty;
}

// A field table as earlier replies may leave it: each field terminated within 100 units, holding
// letters, separators' characters and lone surrogates, with stale units after the terminator.
void FillEarlierTable(Table& table, unsigned seed) {
    static constexpr char16_t kAlphabet[] = {u'a', u'0', u'<', u'/', u'>', 0xD800, 0xDC00, 0xAC00, u' '};
    std::uint32_t state = seed * 2654435761u + 1;
    for (std::size_t k = 0; k < 30; ++k) {
        state = state * 1664525u + 1013904223u;
        const std::size_t length = (state >> 8) % 100;
        for (std::size_t j = 0; j < 100; ++j) {
            state = state * 1664525u + 1013904223u;
            table[k][j] = j < length ? kAlphabet[(state >> 16) % std::size(kAlphabet)] : char16_t{0x5A5A};
        }
        table[k][length] = 0;
    }
}

// Checks a table that SplitReply (or ApplyReply) left after splitting `text` over `before`.
void CheckSplitTable(const Table& before, const Table& after, std::u16string_view text, int result) {
    const std::vector<std::u16string> expected = ReferenceSplit(text);
    const std::size_t reached = std::min<std::size_t>(expected.size(), 30);
    for (std::size_t k = 0; k < 30; ++k) {
        Require(quillon::BoundedLength(after[k], 100) <= 99,
                "every field is zero-terminated within 100 units");
        if (k >= reached) {
            Require(std::memcmp(before[k], after[k], sizeof after[k]) == 0,
                    "fields beyond the reply keep their previous contents");
            continue;
        }
        const std::u16string_view kept = KeptPrefix(expected[k], 99);
        Require(std::u16string_view(after[k], kept.size()) == kept, "a field holds its text cut at 99 units");
        for (std::size_t j = kept.size(); j < 100; ++j)
            Require(after[k][j] == 0, "a field the reply reaches is cleared after its text");
        if (expected[k].size() > kept.size() && !kept.empty())
            Require(!(IsHigh(kept.back()) && IsLow(expected[k][kept.size()])),
                    "a field cut never splits a pair");
    }
    Require(result == (after[0][0] == u'0' ? 0 : 1), "the result is 0 exactly when field 0 begins with '0'");
}

// ---- Modes ------------------------------------------------------------------------------------

void FuzzApplyReply(std::string_view body, unsigned seed) {
    Table before, after, viaSplit;
    FillEarlierTable(before, seed);
    std::memcpy(after, before, sizeof before);
    std::memcpy(viaSplit, before, sizeof before);
    const int result = ApplyReply(body, after);

    const std::u16string text = DecodeReplyBody(body);
    Require(SplitReply(text, viaSplit) == result, "ApplyReply answers as SplitReply(DecodeReplyBody)");
    Require(std::memcmp(after, viaSplit, sizeof after) == 0,
            "ApplyReply splits as SplitReply(DecodeReplyBody)");
    CheckSplitTable(before, after, text, result);

    const std::size_t reached = std::min<std::size_t>(ReferenceSplit(text).size(), 30);
    for (std::size_t k = 0; k < reached; ++k) {
        const std::u16string_view field(after[k], quillon::BoundedLength(after[k], 100));
        Require(IsWellFormedUtf16(field), "a field of a reply holds no unpaired surrogate");
        Require(field.empty() || !IsHigh(field.back()), "no field ends in a lone high surrogate");
    }
}

void FuzzDecode(std::string_view bytes) {
    const Decoded reference = ReferenceDecode(bytes);
    const std::u16string converted = quillon::Utf8ToUtf16(bytes);
    Require(converted == reference.text,
            "Utf8ToUtf16 replaces each maximal ill-formed subpart by one U+FFFD");
    Require(IsWellFormedUtf16(converted), "Utf8ToUtf16 makes no unpaired surrogate");
    const std::string back = quillon::Utf16ToUtf8(converted);
    if (reference.wellFormed)
        Require(back == bytes, "Utf16ToUtf8(Utf8ToUtf16(x)) == x for well-formed x");
    Require(quillon::Utf8ToUtf16(back) == converted,
            "converting the converted text back and forth changes nothing");

    // The reply body: up to its first zero byte, at most 2047 bytes, at most 999 units.
    const std::string_view body = bytes.substr(0, std::min(bytes.find('\0'), bytes.size()));
    const std::u16string full = ReferenceDecode(body).text;
    const std::u16string text = DecodeReplyBody(bytes);
    Require(text.size() <= kMaxReplyUnits, "the reply text holds at most 999 units");
    Require(IsWellFormedUtf16(text), "the reply text holds no unpaired surrogate");
    Require(std::u16string_view(full).substr(0, text.size()) == text,
            "the reply text is a prefix of the body's");
    if (body.size() <= kMaxBodyBytes) {
        Require(text == KeptPrefix(full, kMaxReplyUnits),
                "a body within 2047 bytes loses only what the 999-unit cut takes");
        return;
    }
    const std::u16string upTo2047 = ReferenceDecode(body.substr(0, kMaxBodyBytes)).text;
    Require(text.size() <= upTo2047.size(), "the reply text comes from at most 2047 bytes");
    const std::u16string upTo2044 = ReferenceDecode(body.substr(0, kMaxBodyBytes - 3)).text;
    std::size_t common = 0;
    while (common < upTo2044.size() && common < full.size() && upTo2044[common] == full[common])
        ++common;
    Require(text.size() >= std::min<std::size_t>(common, kMaxReplyUnits - 1),
            "the 2047-byte cut backs up over at most one sequence");
    if (ReferenceDecode(body).wellFormed) {
        std::size_t boundary = 0;
        while (boundary < body.size() &&
               boundary + FormLength(static_cast<unsigned char>(body[boundary])) <= kMaxBodyBytes)
            boundary += FormLength(static_cast<unsigned char>(body[boundary]));
        Require(text == KeptPrefix(ReferenceDecode(body.substr(0, boundary)).text, kMaxReplyUnits),
                "a well-formed body is cut after its last whole sequence within 2047 bytes");
    }
}

void FuzzUtf16ToUtf8(std::u16string_view text) {
    const std::string bytes = quillon::Utf16ToUtf8(text);
    const Decoded decoded = ReferenceDecode(bytes);
    Require(decoded.wellFormed, "Utf16ToUtf8 makes well-formed UTF-8");
    Require(decoded.text == Scrub(text),
            "Utf16ToUtf8 keeps every pair and turns unpaired surrogates into U+FFFD");
    Require(bytes == ReferenceEncode(text), "Utf16ToUtf8 encodes as the reference encoder");
    Require(quillon::Utf8ToUtf16(bytes) == Scrub(text),
            "Utf8ToUtf16(Utf16ToUtf8(x)) == x with U+FFFD for lone halves");
}

void FuzzSplitReply(std::u16string_view text, unsigned seed) {
    Table before, after;
    FillEarlierTable(before, seed);
    std::memcpy(after, before, sizeof before);
    const int result = SplitReply(text, after);
    CheckSplitTable(before, after, text, result);
}

// One expected argument of a formatted URL.
struct Expect {
    enum Kind { Verbatim, Query, Number } kind;
    std::u16string text; // for a narrow URL, its bytes widened one by one
    std::int32_t number = 0;
};

// Walks a template along a formatted URL: literal text must be there as written, a host verbatim,
// a number in decimal, and a query value as an encoded run that decodes to the value's UTF-8.
// The templates this is used on follow each query value with a reserved character or the end.
template <typename CharT>
void CheckParsesBack(std::basic_string_view<CharT> out, std::basic_string_view<CharT> tmpl,
                     const std::vector<Expect>& args, bool narrow) {
    std::size_t pos = 0;
    std::size_t next = 0;
    for (std::size_t i = 0; i < tmpl.size(); ++i) {
        if (tmpl[i] != '%') {
            Require(pos < out.size() && out[pos] == tmpl[i], "a URL keeps the template's own text");
            ++pos;
            continue;
        }
        const Expect& arg = args.at(next++);
        ++i;
        if (arg.kind == Expect::Verbatim) {
            Require(out.size() - pos >= arg.text.size(), "a host fits in its URL");
            for (std::size_t j = 0; j < arg.text.size(); ++j)
                Require(static_cast<char16_t>(static_cast<std::make_unsigned_t<CharT>>(out[pos + j])) ==
                            arg.text[j],
                        "a host goes in verbatim");
            pos += arg.text.size();
        } else if (arg.kind == Expect::Number) {
            const std::string digits = std::to_string(arg.number);
            Require(out.substr(pos, digits.size()) == std::basic_string<CharT>(digits.begin(), digits.end()),
                    "a number goes in as signed decimal");
            pos += digits.size();
        } else {
            const std::size_t run = EncodedRun(out, pos);
            const std::optional<std::string> bytes = PercentDecode(out.substr(pos, run));
            Require(bytes.has_value(), "a query value holds only unreserved characters and %XX");
            if (narrow) {
                Require(Widen<char>(*bytes) == arg.text, "a narrow query value decodes to its bytes");
            } else {
                const Decoded decoded = ReferenceDecode(*bytes);
                Require(decoded.wellFormed && decoded.text == Scrub(arg.text),
                        "a query value decodes to its UTF-8, unpaired surrogates as U+FFFD");
            }
            pos += run;
        }
    }
    Require(pos == out.size(), "a URL holds nothing after its template");
    Require(next == args.size(), "a URL uses every argument");
}

template <typename CharT>
std::size_t ExpectedLength(std::basic_string_view<CharT> tmpl, const std::vector<Expect>& args) {
    std::size_t n = 0;
    std::size_t next = 0;
    for (std::size_t i = 0; i < tmpl.size(); ++i) {
        if (tmpl[i] != '%') {
            ++n;
            continue;
        }
        ++i;
        const Expect& arg = args.at(next++);
        if (arg.kind == Expect::Verbatim)
            n += arg.text.size();
        else if (arg.kind == Expect::Number)
            n += std::to_string(arg.number).size();
        else if (std::is_same_v<CharT, char16_t>)
            n += EncodedUnits(arg.text);
        else
            for (const char16_t c : arg.text)
                n += IsUnreservedByte(c) ? 1 : 3;
    }
    return n;
}

// Checks one call of a formatter on a destination that held `before` (capacity units plus a guard).
template <typename CharT>
void CheckFormatted(int result, const std::basic_string<CharT>& before, const CharT* dest,
                    std::size_t capacity, std::basic_string_view<CharT> tmpl, const std::vector<Expect>& args,
                    bool narrow) {
    const std::size_t all = before.size();
    for (std::size_t j = capacity; j < all; ++j)
        Require(dest[j] == before[j], "a formatter never writes past its capacity");
    const std::size_t length = ExpectedLength(tmpl, args);
    if (result == 0) {
        Require(std::basic_string_view<CharT>(dest, all) == before,
                "a refused URL leaves the destination unchanged");
        Require(length + 1 > capacity, "a URL is refused only when it does not fit");
        return;
    }
    Require(result == 1, "a formatter answers 0 or 1");
    std::size_t n = 0;
    while (n < capacity && dest[n] != 0)
        ++n;
    Require(n < capacity, "a formatted URL is terminated within its capacity");
    Require(n == length, "a formatted URL has the length its values give");
    CheckParsesBack(std::basic_string_view<CharT>(dest, n), tmpl, args, narrow);
}

Expect HostOf(const char16_t* text) {
    return {Expect::Verbatim, std::u16string(quillon::View(text)), 0};
}
Expect QueryOf(const char16_t* text) {
    return {Expect::Query, std::u16string(quillon::View(text)), 0};
}

// The endpoint URLs from the shared state, each into g_requestUrl (capacity 500), and the login URL.
void FuzzEndpoints(const std::uint8_t* data, std::size_t size) {
    if (size < 5)
        return;
    const unsigned endpoint = data[0] % 7;
    std::int32_t markTag;
    std::memcpy(&markTag, data + 1, sizeof markTag);
    const auto values = SplitAtZero<char16_t>(Units(data + 5, size - 5));
    quillon::CopyText(g_serverHost, Piece(values, 0));
    quillon::CopyText(g_deviceId, Piece(values, 1));
    quillon::CopyText(g_price, Piece(values, 2));
    quillon::CopyText(g_mileageRate, Piece(values, 3));
    const std::u16string& phone = Piece(values, 4);

    if (endpoint == 6) {
        char16_t guarded[kLoginUrlCapacity + 8];
        for (std::size_t j = 0; j < std::size(guarded); ++j)
            guarded[j] = static_cast<char16_t>(0x4100 + j);
        const std::u16string before(guarded, std::size(guarded));
        auto& dest = *reinterpret_cast<char16_t(*)[kLoginUrlCapacity]>(guarded);
        const std::u16string& id = Piece(values, 0);
        const std::u16string& password = Piece(values, 1);
        const int result = FormatLoginUrl(dest, id.c_str(), password.c_str());
        const std::u16string tmpl = std::u16string(kDefaultSiteUrl) + kLoginTemplate;
        CheckFormatted<char16_t>(result, before, guarded, kLoginUrlCapacity, tmpl,
                                 {QueryOf(id.c_str()), QueryOf(password.c_str())}, false);
        return;
    }

    for (std::size_t j = 0; j < kUrlCapacity; ++j)
        g_requestUrl[j] = static_cast<char16_t>(j % 7 == 6 ? 0 : 0x2200 + j);
    const std::u16string before(g_requestUrl, kUrlCapacity);
    const std::vector<Expect> common = {HostOf(g_serverHost), QueryOf(g_deviceId)};
    const std::vector<Expect> sale = {HostOf(g_serverHost), QueryOf(g_deviceId), QueryOf(g_price),
                                      QueryOf(g_mileageRate)};
    int result = 0;
    std::u16string_view tmpl;
    std::vector<Expect> args;
    if (endpoint < 3) {
        const OperationInfo* operation = FindOperation(endpoint == 0 ? Give : endpoint == 1 ? Pay : Cancel);
        Require(operation != nullptr, "every operation has its endpoint");
        result = FormatOperationUrl(*operation);
        tmpl = operation->requestTemplate;
        args = sale;
    } else if (endpoint == 3) {
        result = FormatGetResultUrl();
        tmpl = kGetResultTemplate;
        args = common;
    } else if (endpoint == 4) {
        result = FormatDeleteDataUrl();
        tmpl = kDeleteDataTemplate;
        args = common;
    } else {
        result = FormatTextMessageUrl(phone.c_str(), markTag);
        tmpl = kTextMessageTemplate;
        args = sale;
        args.push_back(QueryOf(phone.c_str()));
        args.push_back({Expect::Number, {}, markTag});
    }
    // g_requestUrl has no guard of its own: its 500 units are the whole capacity.
    CheckFormatted<char16_t>(result, before, g_requestUrl, kUrlCapacity, tmpl, args, false);
}

// A formatter call with up to six arguments (the formatters take an initializer list).
template <typename CharT, typename Call>
int CallWithArgs(const std::vector<BasicUrlArg<CharT>>& a, Call call) {
    switch (a.size()) {
    case 0:
        return call({});
    case 1:
        return call({a[0]});
    case 2:
        return call({a[0], a[1]});
    case 3:
        return call({a[0], a[1], a[2]});
    case 4:
        return call({a[0], a[1], a[2], a[3]});
    case 5:
        return call({a[0], a[1], a[2], a[3], a[4]});
    default:
        return call({a[0], a[1], a[2], a[3], a[4], a[5]});
    }
}

// Whether `tmpl` with arguments of these kinds is one the formatters accept: each "%%" is a '%', a
// '%' at the very end is a '%', every other "%c" takes the next argument, "%s" a host or query
// value and "%d" a number, and no argument is left over. For an accepted template, `tmpl` comes
// back with "%%" and the trailing '%' written as a literal the parse-back walk can follow.
template <typename CharT>
std::optional<std::basic_string<CharT>> Accepted(std::basic_string_view<CharT> tmpl,
                                                 const std::vector<Expect>& args, std::vector<Expect>& used) {
    std::basic_string<CharT> plain;
    std::size_t next = 0;
    for (std::size_t i = 0; i < tmpl.size(); ++i) {
        if (tmpl[i] != '%' || i + 1 == tmpl.size() || tmpl[i + 1] == '%') {
            if (tmpl[i] == '%') {
                // A literal '%' cannot be told from a conversion in the walk; it stands for itself.
                plain += static_cast<CharT>('%');
                plain += static_cast<CharT>('%');
                used.push_back({Expect::Verbatim, u"%", 0});
                i += i + 1 < tmpl.size() ? 1 : 0;
            } else {
                plain += tmpl[i];
            }
            continue;
        }
        if (next == args.size())
            return std::nullopt;
        const Expect& arg = args[next++];
        const CharT conversion = tmpl[++i];
        if (!((conversion == 's' && arg.kind != Expect::Number) ||
              (conversion == 'd' && arg.kind == Expect::Number)))
            return std::nullopt;
        plain += static_cast<CharT>('%');
        plain += conversion;
        used.push_back(arg);
    }
    if (next != args.size())
        return std::nullopt;
    return plain;
}

template <typename CharT>
void FuzzTemplate(std::basic_string_view<CharT> tmpl, const std::vector<std::basic_string<CharT>>& values,
                  std::size_t capacity) {
    std::vector<BasicUrlArg<CharT>> args;
    std::vector<Expect> expects;
    for (std::size_t i = 0; i < std::min<std::size_t>(values.size(), 6); ++i) {
        const std::basic_string<CharT>& v = values[i];
        const unsigned selector = v.empty() ? 0 : static_cast<std::make_unsigned_t<CharT>>(v[0]) % 3;
        const std::basic_string_view<CharT> text = std::basic_string_view<CharT>(v).substr(v.empty() ? 0 : 1);
        const std::u16string wide = Widen<CharT>(text);
        std::int32_t number = 0;
        for (const CharT c : v)
            number = static_cast<std::int32_t>(static_cast<std::uint32_t>(number) * 131u +
                                               static_cast<std::make_unsigned_t<CharT>>(c));
        using Kind = typename BasicUrlArg<CharT>::Kind;
        if (selector == 0) {
            args.push_back({Kind::Verbatim, text, 0});
            expects.push_back({Expect::Verbatim, wide, 0});
        } else if (selector == 1) {
            args.push_back({Kind::Query, text, 0});
            expects.push_back({Expect::Query, wide, 0});
        } else {
            args.push_back({Kind::Number, {}, number});
            expects.push_back({Expect::Number, {}, number});
        }
    }
    constexpr std::size_t kRoom = 600;
    CharT dest[kRoom + 8];
    for (std::size_t j = 0; j < std::size(dest); ++j)
        dest[j] = static_cast<CharT>('A' + j % 26);
    dest[capacity / 2] = 0;
    const std::basic_string<CharT> before(dest, std::size(dest));
    capacity = std::min(capacity, kRoom);
    int result;
    if constexpr (std::is_same_v<CharT, char16_t>)
        result = CallWithArgs<CharT>(
            args, [&](std::initializer_list<UrlArg> list) { return FormatUrl(dest, capacity, tmpl, list); });
    else
        result = CallWithArgs<CharT>(args, [&](std::initializer_list<UrlArgA> list) {
            return FormatUrlA(dest, capacity, tmpl, list);
        });

    std::vector<Expect> used;
    const auto plain = Accepted(tmpl, expects, used);
    if (!plain) {
        Require(result == 0, "a template whose conversions do not match its arguments is refused");
        Require(std::basic_string_view<CharT>(dest, std::size(dest)) == before,
                "a refused URL leaves the destination unchanged");
        return;
    }
    // A query value followed by an unreserved literal cannot be told apart in the walk; the
    // length rule and the fit-or-refuse rule still hold for it.
    bool walkable = true;
    for (std::size_t i = 0; i + 2 < plain->size(); ++i)
        if ((*plain)[i] == '%' && (*plain)[i + 1] == 's' &&
            (IsUnreservedByte(static_cast<std::make_unsigned_t<CharT>>((*plain)[i + 2])) ||
             (*plain)[i + 2] == '%'))
            walkable = false;
    if (walkable) {
        CheckFormatted<CharT>(result, before, dest, capacity, *plain, used, !std::is_same_v<CharT, char16_t>);
        return;
    }
    const std::size_t length = ExpectedLength<CharT>(*plain, used);
    for (std::size_t j = capacity; j < std::size(dest); ++j)
        Require(dest[j] == before[j], "a formatter never writes past its capacity");
    if (result == 0) {
        Require(length + 1 > capacity, "a URL is refused only when it does not fit");
        Require(std::basic_string_view<CharT>(dest, std::size(dest)) == before,
                "a refused URL leaves the destination unchanged");
    } else {
        Require(length < capacity && dest[length] == 0 &&
                    std::find(dest, dest + length, CharT{0}) == dest + length,
                "a formatted URL has the length its values give and is terminated");
    }
}

void FuzzNarrow(std::string_view bytes) {
    if (bytes.empty())
        return;
    const auto pieces = SplitAtZero<char>(bytes.substr(1));
    if (bytes[0] & 1) {
        const std::size_t capacity = static_cast<unsigned char>(bytes[0]) * 2u + 1;
        std::vector<std::string> values(pieces.begin() + 1, pieces.end());
        FuzzTemplate<char>(Piece(pieces, 0), values, capacity);
        return;
    }
    char dest[kNarrowUrlCapacity + 8];
    std::memset(dest, 0x7E, sizeof dest);
    const std::string before(dest, sizeof dest);
    const std::string& host = Piece(pieces, 0);
    const std::string& store = Piece(pieces, 1);
    const int result = FormatUrlA(dest, kNarrowUrlCapacity, kCancelNoticeTemplate,
                                  {HostA(host.c_str()), QueryA(store.c_str())});
    CheckFormatted<char>(result, before, dest, kNarrowUrlCapacity, kCancelNoticeTemplate,
                         {{Expect::Verbatim, Widen<char>(host), 0}, {Expect::Query, Widen<char>(store), 0}},
                         true);
}

void FuzzPercentEncode(const std::uint8_t* data, std::size_t size) {
    const std::u16string text = Units(data, size);
    const std::u16string encoded = PercentEncode(text);
    const std::optional<std::string> bytes = PercentDecode<char16_t>(encoded);
    Require(bytes.has_value(),
            "PercentEncode makes only unreserved characters and %XX, unreserved ones as is");
    const Decoded decoded = ReferenceDecode(*bytes);
    Require(decoded.wellFormed && decoded.text == Scrub(text),
            "PercentEncode decodes to the UTF-8 of its input, unpaired surrogates as U+FFFD");
    Require(encoded.size() == EncodedUnits(text), "PercentEncode's length follows from the code points");

    const std::string_view raw(reinterpret_cast<const char*>(data), size);
    const std::string narrow = PercentEncodeA(raw);
    const std::optional<std::string> back = PercentDecode<char>(narrow);
    Require(back.has_value() && *back == raw, "PercentEncodeA decodes to its bytes");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const unsigned mode = data[0] & 7;
    const unsigned seed = data[0] >> 3;
    const std::uint8_t* rest = data + 1;
    const std::size_t restSize = size - 1;
    const std::string_view bytes(reinterpret_cast<const char*>(rest), restSize);
    switch (mode) {
    case 0:
        FuzzApplyReply(bytes, seed);
        break;
    case 1:
        FuzzDecode(bytes);
        break;
    case 2:
        FuzzUtf16ToUtf8(Units(rest, restSize));
        break;
    case 3:
        FuzzSplitReply(Units(rest, restSize), seed);
        break;
    case 4:
        FuzzEndpoints(rest, restSize);
        break;
    case 5: {
        if (restSize < 1)
            break;
        const auto pieces = SplitAtZero<char16_t>(Units(rest + 1, restSize - 1));
        const std::vector<std::u16string> values(pieces.begin() + 1, pieces.end());
        FuzzTemplate<char16_t>(pieces[0], values, rest[0] * 2u + (seed & 1));
        break;
    }
    case 6:
        FuzzNarrow(bytes);
        break;
    default:
        FuzzPercentEncode(rest, restSize);
        break;
    }
    return 0;
}

// libFuzzer target over everything that turns outside bytes into our buffers or our buffers into
// URLs: the reply record, the two UTF conversions, the endpoint URLs with their percent-encoding,
// and the host a login reply names. Each mode checks properties that hold for any input and aborts
// on the first that does not.
// The first input byte picks the mode (low two bits); the rest is the mode's input:
//   0 ApplyReply on the body bytes, over a table an earlier reply filled
//   1 DecodeReplyBody and both conversions on the bytes
//   2 the endpoint URLs from the shared state (UTF-16LE values split at zero units); each
//     value travels percent-encoded
//   3 the host check of login reply field 5 on UTF-16LE text
#include "net/Endpoints.h"
#include "net/ReplyRecord.h"
#include "net/SharedState.h"
#include "net/Text.h"
#include "net/UrlFormat.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

void Require(bool holds, const char* property) {
    if (!holds) {
        std::fprintf(stderr, "fuzz_reply: property violated: %s\n", property);
        std::abort();
    }
}

bool WellFormed(std::u16string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF)
            ++i;
        else if (c >= 0xD800 && c <= 0xDFFF)
            return false;
    }
    return true;
}

std::u16string Units(const std::uint8_t* data, std::size_t size) {
    std::u16string out;
    for (std::size_t i = 0; i + 1 < size; i += 2)
        out.push_back(static_cast<char16_t>(data[i] | data[i + 1] << 8));
    return out;
}

void FuzzApplyReply(std::string_view body) {
    ReplyRecord reply;
    const int result = ApplyReply(body, reply);
    const std::u16string text = DecodeReplyBody(body);
    Require(result == (text.empty() || text[0] != u'0'), "only a leading '0' refuses");
    Require(reply.count >= 1 && reply.count <= 30, "one to thirty fields");
    // Joined by separators, the fields give back the text: up to the first field the 99-unit cut
    // may have shortened, and all of it when no cut was made.
    std::u16string joined;
    bool cut = false;
    for (int i = 0; i < 30; ++i) {
        const std::size_t n = quillon::BoundedLength(reply.fields[i], 100);
        Require(n <= 99, "a field holds at most 99 units");
        const std::u16string_view field(reply.fields[i], n);
        Require(WellFormed(field), "a field holds no unpaired surrogate");
        Require(reply.Field(i) == (i < reply.count ? field : std::u16string_view()),
                "a field past the reply's last reads as empty");
        Require(i < reply.count || n == 0, "a field the reply did not reach stays empty");
        Require(field.find(u"</>") == std::u16string_view::npos, "a field holds no separator");
        if (cut || i >= reply.count)
            continue;
        joined.append(i ? u"</>" : u"").append(field);
        Require(text.compare(0, joined.size(), joined) == 0, "the fields are the text in order");
        cut = n >= 98;
    }
    Require(cut || joined == text || (reply.count == 30 && text.rfind(joined + u"</>", 0) == 0),
            "one field per separator, 30 at most");
    // Laid over an earlier table, the reply rewrites the fields it reached and nothing else.
    char16_t table[30][100], earlier[30][100];
    for (int i = 0; i < 30; ++i)
        quillon::CopyText(earlier[i], std::u16string(static_cast<std::size_t>(i % 7) * 14, u'가'));
    std::memcpy(table, earlier, sizeof table);
    LayOver(reply, table);
    for (int i = 0; i < 30; ++i)
        Require(std::memcmp(table[i], i < reply.count ? reply.fields[i] : earlier[i], sizeof table[i]) == 0,
                "LayOver rewrites exactly the reply's fields");
}

// Login reply field 5 becomes the authority of every later URL: an accepted one cannot change
// where a URL goes or what it asks.
void FuzzHost(const std::uint8_t* data, std::size_t size) {
    const std::u16string text = Units(data, size);
    if (!IsHostAndPort(text))
        return;
    Require(!text.empty() && text.size() <= 253 + 8, "a host is not empty and not longer than a name and a port");
    for (const char16_t c : text)
        Require((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'.' ||
                    c == u'-' || c == u':' || c == u'[' || c == u']',
                "a host holds only name, address and port characters");
    const std::size_t close = text.find(u']');
    Require((text[0] == u'[') == (close != std::u16string::npos), "brackets only around an IPv6 address");
    const std::u16string_view after = close == std::u16string::npos ? std::u16string_view(text)
                                                                     : std::u16string_view(text).substr(close + 1);
    Require(after.find(u'[') == std::u16string_view::npos && after.find(u']') == std::u16string_view::npos &&
                after.find(u':') == after.rfind(u':'),
            "at most one port after the host");
}

void FuzzDecode(std::string_view bytes) {
    const std::u16string converted = quillon::Utf8ToUtf16(bytes);
    Require(WellFormed(converted), "Utf8ToUtf16 makes no unpaired surrogate");
    const std::string back = quillon::Utf16ToUtf8(converted);
    Require(quillon::Utf8ToUtf16(back) == converted, "converting back and forth changes nothing");
    if (converted.find(u'\uFFFD') == std::u16string::npos && bytes.find("\xEF\xBF\xBD") == std::string::npos)
        Require(back == bytes, "well-formed UTF-8 survives the round trip");

    const std::string_view body = bytes.substr(0, bytes.find('\0'));
    const std::u16string text = DecodeReplyBody(bytes);
    Require(text.size() <= kMaxReplyUnits, "the reply text holds at most 999 units");
    Require(WellFormed(text), "the reply text holds no unpaired surrogate");
    Require(quillon::Utf8ToUtf16(body).compare(0, text.size(), text) == 0,
            "the reply text is a prefix of the body's");
    if (body.size() <= kMaxBodyBytes && quillon::Utf8ToUtf16(body).size() <= kMaxReplyUnits)
        Require(text == quillon::Utf8ToUtf16(body), "a body within both limits is whole");
}

void FuzzEndpoints(const std::uint8_t* data, std::size_t size) {
    if (size < 5)
        return;
    std::int32_t markTag;
    std::memcpy(&markTag, data + 1, sizeof markTag);
    std::vector<std::u16string> values(5);
    std::size_t k = 0;
    for (char16_t c : Units(data + 5, size - 5)) {
        if (c == 0 && k + 1 < values.size())
            ++k;
        else
            values[k].push_back(c);
    }
    quillon::CopyText(g_serverHost, values[0]);
    quillon::CopyText(g_deviceId, values[1]);
    SetSaleInputs(values[2].c_str(), values[3].c_str());
    for (std::size_t j = 0; j < kUrlCapacity; ++j)
        g_requestUrl[j] = static_cast<char16_t>(0x2200 + j);
    const std::u16string before(g_requestUrl, kUrlCapacity);
    const unsigned endpoint = data[0] % 6;
    const int operations[] = {Give, Pay, Cancel};
    const int result = endpoint < 3    ? FormatOperationUrl(*FindOperation(operations[endpoint]))
                       : endpoint == 3 ? FormatGetResultUrl()
                       : endpoint == 4 ? FormatDeleteDataUrl()
                                       : FormatTextMessageUrl(values[4].c_str(), markTag);
    if (!result) {
        Require(before == std::u16string(g_requestUrl, kUrlCapacity),
                "a refused URL leaves the buffer as it was");
        return;
    }
    const std::u16string url(g_requestUrl, quillon::BoundedLength(g_requestUrl, kUrlCapacity));
    Require(url.size() < kUrlCapacity, "a URL that fits ends inside its buffer");
    Require(url.rfind(u"http://" + std::u16string(quillon::View(g_serverHost)) + u"/", 0) == 0,
            "a URL starts with the host verbatim");
    Require(url.find(u"deviceid=" + PercentEncode(quillon::View(g_deviceId))) != std::u16string::npos,
            "the device id travels encoded");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    switch (data[0] & 3) {
    case 0:
        FuzzApplyReply(bytes);
        break;
    case 1:
        FuzzDecode(bytes);
        break;
    case 2:
        FuzzEndpoints(data + 1, size - 1);
        break;
    default:
        FuzzHost(data + 1, size - 1);
        break;
    }
    return 0;
}

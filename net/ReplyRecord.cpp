#include "net/ReplyRecord.h"

#include "net/Text.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::u16string_view kSeparator = u"</>";
constexpr std::size_t kFields = kReplyFieldCount;
constexpr std::size_t kFieldUnits = 99;

// Where to cut `body` at `limit` bytes so that no UTF-8 sequence is split: back up over the
// continuation bytes of a sequence that starts before the cut and would end after it.
std::size_t CutUtf8(std::string_view body, std::size_t limit) {
    if (body.size() <= limit || limit == 0)
        return std::min(body.size(), limit);
    auto isContinuation = [&](std::size_t i) { return (static_cast<unsigned char>(body[i]) & 0xC0) == 0x80; };
    std::size_t lead = limit - 1;
    while (lead > 0 && limit - 1 - lead < 3 && isContinuation(lead))
        --lead;
    const auto b = static_cast<unsigned char>(body[lead]);
    const std::size_t length = b >= 0xF8 ? 1 : b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
    return lead + length > limit ? lead : limit;
}

} // namespace

std::u16string DecodeReplyBody(std::string_view body) {
    body = body.substr(0, std::min(body.find('\0'), body.size()));
    body = body.substr(0, CutUtf8(body, kMaxBodyBytes));
    std::u16string text = quillon::Utf8ToUtf16(body);
    text.resize(quillon::CutWithoutSplittingPair(text, kMaxReplyUnits));
    return text;
}

std::u16string_view ReplyRecord::Field(int i) const {
    if (i < 0 || i >= count)
        return {};
    return std::u16string_view(fields[i], quillon::BoundedLength(fields[i], kReplyFieldCapacity));
}

int SplitReply(std::u16string_view text, ReplyRecord& reply) {
    reply = ReplyRecord{};
    std::size_t field = 0;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = std::min(text.find(kSeparator, start), text.size());
        // A field past the 30th is dropped; its text never reaches the record.
        if (field < kFields)
            quillon::CopyText(reply.fields[field], kFieldUnits + 1, text.substr(start, end - start));
        if (end == text.size())
            break;
        start = end + kSeparator.size();
        ++field;
    }
    reply.count = static_cast<int>(std::min(field + 1, kFields));
    return reply.fields[0][0] == u'0' ? 0 : 1;
}

int ApplyReply(std::string_view body, ReplyRecord& reply) { return SplitReply(DecodeReplyBody(body), reply); }

void LayOver(const ReplyRecord& reply, char16_t (&table)[kReplyFieldCount][kReplyFieldCapacity]) {
    for (int i = 0; i < reply.count; ++i)
        std::memcpy(table[i], reply.fields[i], sizeof table[i]);
}

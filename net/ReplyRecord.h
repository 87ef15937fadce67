// The reply record: the UTF-8 body of every server reply, split into fields at each "</>".
// The limits hold exactly whatever the server sends: the body counts up to its first zero byte
// and is cut at 2047 bytes (never inside a UTF-8 sequence); invalid UTF-8 becomes U+FFFD; the text
// is cut at 999 UTF-16 units; fields past the 30th are dropped; a field is cut at 99 units. No cut
// splits a surrogate pair.
//
// Each exchange splits its reply into a ReplyRecord of its own, and its decisions read only that:
// a field the reply did not reach reads as empty, never as what an earlier reply said there.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

inline constexpr std::size_t kMaxBodyBytes = 2047;
inline constexpr std::size_t kMaxReplyUnits = 999;
inline constexpr int kReplyFieldCount = 30;
inline constexpr int kReplyFieldCapacity = 100;

struct ReplyRecord {
    // Fields 0 to count - 1 are the reply's; the others stay empty.
    char16_t fields[kReplyFieldCount][kReplyFieldCapacity] = {};
    // How many fields the reply reached: 0 when there was no reply, 1 for an empty body.
    int count = 0;

    // Field `i` of the reply, empty when the reply did not reach it.
    std::u16string_view Field(int i) const;
};

// The body's text as the field split sees it, with the limits above applied.
std::u16string DecodeReplyBody(std::string_view body);

// Splits `text` into a fresh `reply`. Returns 0 when field 0 begins with '0' (the server's
// refusal), else 1.
int SplitReply(std::u16string_view text, ReplyRecord& reply);

// The whole reply rule for a body that was read to its end: decode, split, result. An empty body
// is one empty field and counts as accepted.
int ApplyReply(std::string_view body, ReplyRecord& reply);

// Lays `reply` over `table`: the fields it reached are rewritten, the others keep what they held.
void LayOver(const ReplyRecord& reply, char16_t (&table)[kReplyFieldCount][kReplyFieldCapacity]);

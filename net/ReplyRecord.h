// The reply record: the UTF-8 body of every server reply, split into fields at each "</>".
// The limits hold exactly whatever the server sends: the body counts up to its first zero byte
// and is cut at 2047 bytes (never inside a UTF-8 sequence); invalid UTF-8 becomes U+FFFD; the text
// is cut at 999 UTF-16 units; fields past the 30th are dropped; a field is cut at 99 units. No cut
// splits a surrogate pair.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

inline constexpr std::size_t kMaxBodyBytes = 2047;
inline constexpr std::size_t kMaxReplyUnits = 999;

// The body's text as the field split sees it, with the limits above applied.
std::u16string DecodeReplyBody(std::string_view body);

// Splits `text` into `fields` (30 x 100 units). Field 0 and every field the text reaches are
// rewritten; fields it does not reach keep what they held. Returns 0 when field 0 begins with '0'
// (the server's refusal), else 1.
int SplitReply(std::u16string_view text, char16_t (&fields)[30][100]);

// The whole reply rule for a body that was read to its end: decode, split, result. An empty body
// clears field 0 only and counts as accepted.
int ApplyReply(std::string_view body, char16_t (&fields)[30][100]);

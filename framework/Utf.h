// UTF-8 <-> UTF-16, the one conversion of the program: replies arrive as UTF-8, URLs leave as
// UTF-8, and everything in between is UTF-16. Below both the framework's internet part and net/,
// and depends on neither.
#pragma once

#include <string>
#include <string_view>

namespace quillon {

// UTF-8 to UTF-16. Each invalid sequence (a maximal ill-formed subpart) becomes one U+FFFD.
std::u16string Utf8ToUtf16(std::string_view bytes);

// UTF-16 to UTF-8. An unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);

} // namespace quillon

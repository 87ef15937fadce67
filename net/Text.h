// UTF-16 text helpers shared by the portable core and the Windows build. The core counts every
// capacity in UTF-16 units (char16_t, the same unit as Windows' WCHAR) so that a cut or a refusal
// behaves the same natively and on Windows.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "framework/Utf.h"

namespace quillon {

// Length of a zero-terminated UTF-16 string held in a buffer of `capacity` units; never reads past it.
std::size_t BoundedLength(const char16_t* text, std::size_t capacity);

// Copies `source` into `dest` (capacity units, terminator included), cut to capacity - 1 units but
// never between the two halves of a surrogate pair. Returns the number of units copied.
std::size_t CopyText(char16_t* dest, std::size_t capacity, std::u16string_view source);

template <std::size_t N> std::size_t CopyText(char16_t (&dest)[N], std::u16string_view source) {
    return CopyText(dest, N, source);
}

// Length of the prefix of `text` that keeps at most `maxUnits` units without splitting a pair.
std::size_t CutWithoutSplittingPair(std::u16string_view text, std::size_t maxUnits);

inline std::u16string_view View(const char16_t* text) { return text ? std::u16string_view(text) : u""; }

} // namespace quillon

#include "net/Text.h"

namespace quillon {

namespace {

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

} // namespace

std::size_t BoundedLength(const char16_t* text, std::size_t capacity) {
    std::size_t n = 0;
    while (n < capacity && text[n] != 0)
        ++n;
    return n;
}

std::size_t CutWithoutSplittingPair(std::u16string_view text, std::size_t maxUnits) {
    if (text.size() <= maxUnits)
        return text.size();
    std::size_t n = maxUnits;
    if (n > 0 && IsHighSurrogate(text[n - 1]) && IsLowSurrogate(text[n]))
        --n;
    return n;
}

std::size_t CopyText(char16_t* dest, std::size_t capacity, std::u16string_view source) {
    if (capacity == 0)
        return 0;
    const std::size_t n = CutWithoutSplittingPair(source, capacity - 1);
    source.copy(dest, n);
    dest[n] = 0;
    return n;
}

} // namespace quillon

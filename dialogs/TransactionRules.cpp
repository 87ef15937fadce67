#include "dialogs/TransactionRules.h"

#include <clocale>
#include <cstdlib>
#include <limits>
#include <string>

namespace {

bool IsSpace(char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); }
bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

} // namespace

float ReadAmount(const char16_t* text) {
    if (!text)
        return 0.0f;
    const char16_t* p = text;
    while (IsSpace(*p))
        ++p;
    // Collect the longest prefix that forms a number, as plain ASCII for strtod.
    std::string number;
    const char16_t* q = p;
    if (*q == u'+' || *q == u'-')
        number.push_back(static_cast<char>(*q++));
    std::size_t digits = 0;
    while (IsDigit(*q)) {
        number.push_back(static_cast<char>(*q++));
        ++digits;
    }
    if (*q == u'.') {
        std::string fraction = ".";
        const char16_t* r = q + 1;
        std::size_t fractionDigits = 0;
        while (IsDigit(*r)) {
            fraction.push_back(static_cast<char>(*r++));
            ++fractionDigits;
        }
        if (digits + fractionDigits > 0) {
            number += fraction;
            digits += fractionDigits;
            q = r;
        }
    }
    if (digits == 0)
        return 0.0f;
    if (*q == u'e' || *q == u'E') {
        std::string exponent = "e";
        const char16_t* r = q + 1;
        if (*r == u'+' || *r == u'-')
            exponent.push_back(static_cast<char>(*r++));
        if (IsDigit(*r)) {
            while (IsDigit(*r))
                exponent.push_back(static_cast<char>(*r++));
            number += exponent;
        }
    }
    // The collected text is plain "C" syntax; strtod's locale could only differ on the point.
    const double value = std::strtod(number.c_str(), nullptr);
    return static_cast<float>(value);
}

std::int32_t ParseCoinPoints(const char16_t* text) {
    if (!text)
        return 0;
    const char16_t* p = text;
    while (IsSpace(*p))
        ++p;
    bool negative = false;
    if (*p == u'+' || *p == u'-')
        negative = *p++ == u'-';
    std::int64_t value = 0;
    constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    while (IsDigit(*p)) {
        value = value * 10 + (*p++ - u'0');
        if (value > kLimit)
            value = kLimit; // saturate; the sign below picks the limit
    }
    if (negative)
        return static_cast<std::int32_t>(-value < std::numeric_limits<std::int32_t>::min()
                                              ? std::numeric_limits<std::int32_t>::min()
                                              : -value);
    return static_cast<std::int32_t>(value > std::numeric_limits<std::int32_t>::max()
                                          ? std::numeric_limits<std::int32_t>::max()
                                          : value);
}

std::int32_t MarkTagFromTime(std::int64_t secondsSinceEpoch) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(secondsSinceEpoch)));
}

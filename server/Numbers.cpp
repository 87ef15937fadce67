#include "server/Numbers.h"

namespace {

bool AllDigits(std::string_view text) {
    if (text.empty())
        return false;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
    }
    return true;
}

// Digits only, stopping early once the value passes `limit`.
std::optional<std::int64_t> DigitsUpTo(std::string_view text, std::int64_t limit) {
    if (!AllDigits(text))
        return std::nullopt;
    std::int64_t value = 0;
    for (char c : text) {
        value = value * 10 + (c - '0');
        if (value > limit)
            return std::nullopt;
    }
    return value;
}

} // namespace

std::optional<std::int64_t> Numbers::ParseAmount(std::string_view text) {
    const auto value = DigitsUpTo(text, kMaxAmount);
    if (!value || *value < 1)
        return std::nullopt;
    return value;
}

std::optional<std::int32_t> Numbers::ParseRate(std::string_view text) {
    const auto dot = text.find('.');
    const auto whole = DigitsUpTo(text.substr(0, dot), 100);
    if (!whole)
        return std::nullopt;
    std::int64_t hundredths = *whole * 100;
    if (dot != std::string_view::npos) {
        const auto fraction = text.substr(dot + 1);
        if (fraction.size() > 2 || (!fraction.empty() && !AllDigits(fraction)))
            return std::nullopt;
        if (fraction.size() >= 1)
            hundredths += (fraction[0] - '0') * 10;
        if (fraction.size() == 2)
            hundredths += fraction[1] - '0';
    }
    if (hundredths > 10'000)
        return std::nullopt;
    return static_cast<std::int32_t>(hundredths);
}

std::optional<std::int64_t> Numbers::ParseInteger(std::string_view text, std::int64_t min, std::int64_t max) {
    const bool negative = !text.empty() && text.front() == '-';
    if (negative)
        text.remove_prefix(1);
    // Digits beyond 18 could overflow before the range check; no accepted range needs them.
    if (text.size() > 18)
        return std::nullopt;
    const auto magnitude = DigitsUpTo(text, INT64_MAX);
    if (!magnitude)
        return std::nullopt;
    const std::int64_t value = negative ? -*magnitude : *magnitude;
    if (value < min || value > max)
        return std::nullopt;
    return value;
}

std::int64_t Numbers::MileageFor(std::int64_t amount, std::int32_t rateHundredths) {
    return amount * rateHundredths / 10'000;
}

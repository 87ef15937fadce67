// The number formats the endpoints accept. Amounts are whole won; rates are percentages with at
// most two decimals, held as hundredths of a percent so that mileage is computed exactly.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

class Numbers {
public:
    static constexpr std::int64_t kMaxAmount = 1'000'000'000;

    // Decimal digits only (no sign, space or separator), value 1..kMaxAmount.
    static std::optional<std::int64_t> ParseAmount(std::string_view text);
    // "5", "5.", "2.5", "0.25": 0 to 100 percent, at most two decimals. Returns hundredths.
    static std::optional<std::int32_t> ParseRate(std::string_view text);
    // An optional '-' and decimal digits, within [min, max].
    static std::optional<std::int64_t> ParseInteger(std::string_view text, std::int64_t min,
                                                    std::int64_t max);

    // The mileage a give of `amount` earns at `rateHundredths`: rounded down to whole won.
    static std::int64_t MileageFor(std::int64_t amount, std::int32_t rateHundredths);
};

// A change to a shop's settings, as the operator's `shop` command and the simulation's /sim/shop
// give it, and the one check both put it through: a change one of them takes, the other takes.
// Each caller words its own refusal.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

class ShopChange {
public:
    // A shop's coins may go below 0 (a till then shows the minus sign and sends no text message);
    // the bounds keep them within the till's signed 32-bit coin field.
    static constexpr std::int64_t kMinCoins = -1'000'000'000;
    static constexpr std::int64_t kMaxCoins = 1'000'000'000;

    enum class Bad { Nothing, Rate, Coins };

    // The change that the texts given ask for, in `change`, or which of them is bad (the rate
    // first): a rate 0..100 with at most two decimals, coins a whole number within the bounds.
    // The version is any text. What is left out stays as the shop has it.
    static Bad Parse(const std::optional<std::string>& rate, const std::optional<std::string>& coins,
                     const std::optional<std::string>& version, ShopChange& change);

    std::optional<std::string> rate; // as the till shows it
    std::optional<std::int64_t> coins;
    std::optional<std::string> version; // announced at login
};

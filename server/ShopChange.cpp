#include "server/ShopChange.h"

#include "server/Numbers.h"

ShopChange::Bad ShopChange::Parse(const std::optional<std::string>& rate,
                                  const std::optional<std::string>& coins,
                                  const std::optional<std::string>& version, ShopChange& change) {
    if (rate && !Numbers::ParseRate(*rate))
        return Bad::Rate;
    std::optional<std::int64_t> count;
    if (coins) {
        count = Numbers::ParseInteger(*coins, kMinCoins, kMaxCoins);
        if (!count)
            return Bad::Coins;
    }
    change.rate = rate;
    change.coins = count;
    change.version = version;
    return Bad::Nothing;
}

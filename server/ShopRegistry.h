// The shop registry: the operator's shops (add, password, change, list), as the `shop` command and
// the simulation's /sim/shop manage them. Values come checked by the caller (a change through
// ShopChange); each change returns false, having changed nothing, for an id that is taken (Add) or
// unknown (the others). A new shop has no password, so no login succeeds until SetPassword.
//
// Threads: any thread may call any member; the books' one lock (Books) serialises the database,
// and a password's hash is made outside it.
#pragma once

#include "server/Database.h"
#include "server/ShopChange.h"

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

class ShopRegistry {
public:
    // The longest shop id, in bytes: the till's id field takes 79 characters, and an ASCII id
    // fills it. A login with a longer id is refused before the login throttle keeps anything of
    // it, so that the throttle's memory is bounded in bytes, not only in entries.
    static constexpr std::size_t kMaxIdBytes = 79;

    // A shop as the operator manages it (never its password).
    struct Shop {
        std::string id;
        std::string name;
        std::string rate; // as the till shows it, checked by Numbers::ParseRate
        std::int64_t coins = 0;
        std::string version; // announced at login
        bool hasPassword = false;
    };

    // `db` and `lock` are the books'; a password is hashed with `hashIterations`.
    ShopRegistry(Database& db, std::mutex& lock, int hashIterations)
        : m_db(db), m_lock(lock), m_hashIterations(hashIterations) {}

    bool Add(const Shop& shop);
    bool SetPassword(const std::string& id, std::string_view password);
    bool Change(const std::string& id, const ShopChange& change);
    std::vector<Shop> List();

private:
    Database& m_db;
    std::mutex& m_lock;
    const int m_hashIterations;
};

// Failed logins, so that a password cannot be guessed at the hash's pace, without letting a
// stranger who knows a shop id lock that shop's tills out:
// - per shop id and client address: after kMaxFailures attempts that did not succeed within
//   kWindowMs that address is refused for that id, right password or wrong, for kLockoutMs. The
//   shop's tills at other addresses go on;
// - per shop id, from every address: past kFreeFailures within kWindowMs each attempt waits
//   kDelayStepMs more per failure, up to kMaxDelayMs, before its password is checked. A guesser
//   spread over many addresses is slowed on that id; a till's right password waits, bounded well
//   within its 30 s exchange, and is never refused for it.
// Thread-safe; the clock is the caller's (milliseconds, monotonic), so that tests choose the
// moments. The caller bounds the ids' length: an entry keeps its id whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <unordered_map>

class LoginThrottle {
public:
    static constexpr int kMaxFailures = 5;
    static constexpr std::int64_t kWindowMs = 60'000;
    static constexpr std::int64_t kLockoutMs = 5 * 60'000;
    static constexpr int kFreeFailures = 5;
    static constexpr std::int64_t kDelayStepMs = 1000;
    static constexpr std::int64_t kMaxDelayMs = 5'000;
    // Ids, and pairs of id and address, followed at once. Each failure costs the guesser a full
    // hash, so a flood of made-up ids or addresses reaches this only slowly; past it, expired
    // entries go first, and a new one is not followed.
    static constexpr std::size_t kMaxFollowed = 10'000;

    struct Decision {
        bool admitted = false;
        std::int64_t delayMs = 0; // how long an admitted attempt waits before its hash
        bool operator==(const Decision&) const = default;
    };

    // Whether a login for `id` from `address` may check its password, and after what wait. An
    // admitted attempt counts as a failure from here on, until Succeeded(): logins sent side by
    // side are counted before their hashes end, so a burst of them gets no more tries than a row.
    Decision Admit(const std::string& id, const std::string& address, std::int64_t nowMs);
    // Forgets the address's failures for the id, and takes this attempt off the id's count.
    void Succeeded(const std::string& id, const std::string& address);

private:
    struct Entry {
        std::deque<std::int64_t> failures; // within the window, oldest first
        std::int64_t lockedUntilMs = 0;
    };
    using Table = std::unordered_map<std::string, Entry>;
    static void Forget(Entry& entry, std::int64_t nowMs);
    // The entry for `key`, made when missing; nullptr when the table is full of live entries.
    static Entry* Follow(Table& table, const std::string& key, std::int64_t nowMs);

    std::mutex m_lock;
    Table m_pairs; // keyed by id, a NUL and the address
    Table m_ids;
};

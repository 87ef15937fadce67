// Failed logins per shop id, so that a password cannot be guessed at the hash's pace: after
// kMaxFailures attempts that did not succeed within kWindowMs the id is refused, right or wrong,
// for kLockoutMs.
// Thread-safe; the clock is the caller's (milliseconds), so that tests choose the moments.
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
    // Ids followed at once. Each failure costs the guesser a full hash, so a flood of made-up ids
    // reaches this only slowly; past it, expired entries go first, and a new id is not followed.
    static constexpr std::size_t kMaxFollowed = 10'000;

    // Whether a login for `id` may check its password. An admitted attempt counts as a failure
    // from here on, until Succeeded(): logins sent side by side are counted before their hashes
    // end, so a burst of them gets no more tries than a row of them.
    bool Admit(const std::string& id, std::int64_t nowMs);
    void Succeeded(const std::string& id);

private:
    struct Entry {
        std::deque<std::int64_t> failures; // within the window, oldest first
        std::int64_t lockedUntilMs = 0;
    };
    static void Forget(Entry& entry, std::int64_t nowMs);

    std::mutex m_lock;
    std::unordered_map<std::string, Entry> m_ids;
};

#include "server/LoginThrottle.h"

#include <algorithm>

namespace {

// The id's entry keeps no more failures than make the longest wait: so it holds the wait at
// kMaxDelayMs, and a flood of guesses costs no more memory than a few.
constexpr std::size_t kCountedForDelay =
    LoginThrottle::kFreeFailures + LoginThrottle::kMaxDelayMs / LoginThrottle::kDelayStepMs;

std::string PairKey(const std::string& id, const std::string& address) {
    return id + '\0' + address;
}

} // namespace

void LoginThrottle::Forget(Entry& entry, std::int64_t nowMs) {
    while (!entry.failures.empty() && nowMs - entry.failures.front() >= kWindowMs)
        entry.failures.pop_front();
}

LoginThrottle::Entry* LoginThrottle::Follow(Table& table, const std::string& key, std::int64_t nowMs) {
    if (const auto it = table.find(key); it != table.end())
        return &it->second;
    if (table.size() >= kMaxFollowed) {
        for (auto old = table.begin(); old != table.end();) {
            Forget(old->second, nowMs);
            old = old->second.failures.empty() && nowMs >= old->second.lockedUntilMs ? table.erase(old)
                                                                                     : std::next(old);
        }
        if (table.size() >= kMaxFollowed)
            return nullptr;
    }
    return &table.emplace(key, Entry{}).first->second;
}

LoginThrottle::Decision LoginThrottle::Admit(const std::string& id, const std::string& address,
                                             std::int64_t nowMs) {
    std::lock_guard hold(m_lock);
    Entry* pair = Follow(m_pairs, PairKey(id, address), nowMs);
    if (pair && nowMs < pair->lockedUntilMs)
        return {false, 0};
    Decision decision{true, 0};
    if (Entry* all = Follow(m_ids, id, nowMs)) {
        Forget(*all, nowMs);
        const auto past = static_cast<std::int64_t>(all->failures.size()) - kFreeFailures;
        decision.delayMs = std::max<std::int64_t>(past, 0) * kDelayStepMs;
        all->failures.push_back(nowMs);
        if (all->failures.size() > kCountedForDelay)
            all->failures.pop_front();
    }
    if (pair) {
        Forget(*pair, nowMs);
        pair->failures.push_back(nowMs);
        if (static_cast<int>(pair->failures.size()) >= kMaxFailures) {
            pair->lockedUntilMs = nowMs + kLockoutMs;
            pair->failures.clear();
        }
    }
    return decision;
}

void LoginThrottle::Succeeded(const std::string& id, const std::string& address) {
    std::lock_guard hold(m_lock);
    m_pairs.erase(PairKey(id, address));
    if (const auto all = m_ids.find(id); all != m_ids.end() && !all->second.failures.empty())
        all->second.failures.pop_back();
}

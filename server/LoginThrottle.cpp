#include "server/LoginThrottle.h"

void LoginThrottle::Forget(Entry& entry, std::int64_t nowMs) {
    while (!entry.failures.empty() && nowMs - entry.failures.front() >= kWindowMs)
        entry.failures.pop_front();
}

bool LoginThrottle::Admit(const std::string& id, std::int64_t nowMs) {
    std::lock_guard hold(m_lock);
    auto it = m_ids.find(id);
    if (it == m_ids.end()) {
        if (m_ids.size() >= kMaxFollowed) {
            for (auto old = m_ids.begin(); old != m_ids.end();) {
                Forget(old->second, nowMs);
                old = old->second.failures.empty() && nowMs >= old->second.lockedUntilMs ? m_ids.erase(old)
                                                                                         : std::next(old);
            }
            if (m_ids.size() >= kMaxFollowed)
                return true;
        }
        it = m_ids.emplace(id, Entry{}).first;
    }
    Entry& entry = it->second;
    if (nowMs < entry.lockedUntilMs)
        return false;
    Forget(entry, nowMs);
    entry.failures.push_back(nowMs);
    if (static_cast<int>(entry.failures.size()) >= kMaxFailures) {
        entry.lockedUntilMs = nowMs + kLockoutMs;
        entry.failures.clear();
    }
    return true;
}

void LoginThrottle::Succeeded(const std::string& id) {
    std::lock_guard hold(m_lock);
    m_ids.erase(id);
}

#include "server/RequestLog.h"

RequestLog::RequestLog() : m_start(std::chrono::steady_clock::now()) {}

std::int64_t RequestLog::Now() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - m_start)
        .count();
}

void RequestLog::Add(const std::string& target) {
    // The time is taken under the lock so that the lines stay in time order.
    std::lock_guard lock(m_lock);
    const auto ms = Now();
    std::string line = std::to_string(ms) + " " + target;
    if (m_lines.size() >= kMaxLines)
        m_lines.pop_front();
    m_lines.push_back(std::move(line));
}

std::string RequestLog::Text() const {
    std::lock_guard lock(m_lock);
    std::string text;
    for (const auto& line : m_lines) {
        text += line;
        text += '\n';
    }
    return text;
}

void RequestLog::Clear() {
    std::lock_guard lock(m_lock);
    m_lines.clear();
}

std::size_t RequestLog::Size() const {
    std::lock_guard lock(m_lock);
    return m_lines.size();
}

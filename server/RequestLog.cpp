#include "server/RequestLog.h"

#include <vector>

RequestLog::RequestLog() : m_start(std::chrono::steady_clock::now()) {}

std::int64_t RequestLog::Now() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - m_start)
        .count();
}

void RequestLog::Add(const std::string& target) {
    std::string line = " " + target + "\n";
    // The time is taken under the lock so that the lines stay in time order.
    std::lock_guard lock(m_lock);
    line.insert(0, std::to_string(Now()));
    if (m_open.text.size() + line.size() > kChunkBytes && m_open.lines > 0) {
        m_sealed.push_back(std::make_shared<const Chunk>(std::move(m_open)));
        m_open = Chunk{};
    }
    m_open.text += line;
    ++m_open.lines;
    ++m_lines;
    m_bytes += line.size();
    while (!m_sealed.empty() && (m_lines > kMaxLines || m_bytes > kMaxBytes)) {
        m_lines -= m_sealed.front()->lines;
        m_bytes -= m_sealed.front()->text.size();
        m_sealed.pop_front();
    }
}

std::string RequestLog::Text() const {
    std::vector<std::shared_ptr<const Chunk>> sealed;
    std::string open;
    {
        std::lock_guard lock(m_lock);
        sealed.assign(m_sealed.begin(), m_sealed.end());
        open = m_open.text;
    }
    std::size_t size = open.size();
    for (const auto& chunk : sealed)
        size += chunk->text.size();
    std::string text;
    text.reserve(size);
    for (const auto& chunk : sealed)
        text += chunk->text;
    text += open;
    return text;
}

void RequestLog::Clear() {
    std::deque<std::shared_ptr<const Chunk>> old; // freed after the lock is let go
    std::lock_guard lock(m_lock);
    old.swap(m_sealed);
    m_open = Chunk{};
    m_lines = m_bytes = 0;
}

std::size_t RequestLog::Lines() const {
    std::lock_guard lock(m_lock);
    return m_lines;
}

std::size_t RequestLog::Bytes() const {
    std::lock_guard lock(m_lock);
    return m_bytes;
}

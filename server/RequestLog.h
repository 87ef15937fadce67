// What the operator endpoints received, for tests: one line per request, the milliseconds since
// the server started and the request target exactly as it arrived. In memory only, and bounded:
// past kMaxLines the oldest lines go. Thread-safe.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>

class RequestLog {
public:
    static constexpr std::size_t kMaxLines = 200'000;

    RequestLog();
    void Add(const std::string& target);
    // The milliseconds since the server started, on the clock of the lines.
    std::int64_t Now() const;
    std::string Text() const; // every line followed by '\n'
    void Clear();
    std::size_t Size() const;

private:
    const std::chrono::steady_clock::time_point m_start;
    mutable std::mutex m_lock;
    std::deque<std::string> m_lines;
};

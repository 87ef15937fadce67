// What the operator endpoints received, for tests: one line per request, the milliseconds since
// the server started and the request target as it arrived (passwords masked by the caller). In
// memory only, and bounded in lines and in bytes: past either bound the oldest lines go, a chunk
// at a time. Thread-safe.
//
// Every request adds a line under the lock, so a reader must not hold it for long: the lines are
// kept in chunks that are sealed when full and then never change, and a reader takes only the
// chunks' pointers under the lock and joins the text outside it.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>

class RequestLog {
public:
    // A test run writes a few thousand lines; the bounds keep a server that runs for days with
    // the simulation on, or a flood of 8 KB targets, to a few tens of MB.
    static constexpr std::size_t kMaxLines = 200'000;
    static constexpr std::size_t kMaxBytes = 32u << 20;
    // The unit in which old lines go and readers copy under the lock.
    static constexpr std::size_t kChunkBytes = 64u << 10;

    RequestLog();
    void Add(const std::string& target);
    // The milliseconds since the server started, on the clock of the lines.
    std::int64_t Now() const;
    std::string Text() const; // every line followed by '\n'
    void Clear();
    std::size_t Lines() const;
    std::size_t Bytes() const;

private:
    struct Chunk {
        std::string text;
        std::size_t lines = 0;
    };

    const std::chrono::steady_clock::time_point m_start;
    mutable std::mutex m_lock; // guards everything below
    std::deque<std::shared_ptr<const Chunk>> m_sealed; // oldest first
    Chunk m_open;
    std::size_t m_lines = 0, m_bytes = 0; // sealed and open together
};

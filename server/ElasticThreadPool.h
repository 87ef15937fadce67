// The HTTP layer's task queue. httplib hands each accepted connection to one task that keeps the
// thread for the connection's whole life: keep-alive waits, a delayed or hung answer and a slow
// body all hold it. A fixed pool of a few threads would let one hung till stall every other, so
// this pool starts a thread whenever no idle one is free (up to a cap) and lets surplus threads
// end after a quiet spell.
#pragma once

#include <httplib.h>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>

class ElasticThreadPool : public httplib::TaskQueue {
public:
    ElasticThreadPool(std::size_t maxThreads, std::size_t keptThreads, std::chrono::milliseconds idleExit);
    ~ElasticThreadPool() override;

    // Called by the accept loop only.
    void enqueue(std::function<void()> fn) override;
    // Runs what is queued, then waits until every thread has ended.
    void shutdown() override;

    std::size_t Threads() const;

private:
    void Work();

    const std::size_t m_maxThreads;
    const std::size_t m_keptThreads;
    const std::chrono::milliseconds m_idleExit;

    mutable std::mutex m_lock;
    std::condition_variable m_work;  // a job was queued, or shutdown
    std::condition_variable m_ended; // a thread ended
    std::deque<std::function<void()>> m_jobs;
    std::size_t m_threads = 0;
    std::size_t m_idle = 0;
    bool m_shutdown = false;
};

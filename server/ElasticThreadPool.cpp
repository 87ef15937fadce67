#include "server/ElasticThreadPool.h"

#include <system_error>
#include <thread>

ElasticThreadPool::ElasticThreadPool(std::size_t maxThreads, std::size_t keptThreads,
                                     std::chrono::milliseconds idleExit)
    : m_maxThreads(maxThreads), m_keptThreads(keptThreads), m_idleExit(idleExit) {}

ElasticThreadPool::~ElasticThreadPool() {
    shutdown();
}

void ElasticThreadPool::enqueue(std::function<void()> fn) {
    std::unique_lock lock(m_lock);
    m_jobs.push_back(std::move(fn));
    // Idle threads already promised to earlier jobs do not count.
    if (m_jobs.size() > m_idle && m_threads < m_maxThreads) {
        ++m_threads;
        try {
            // Detached: shutdown() waits for the count to reach zero instead of joining.
            std::thread([this] { Work(); }).detach();
        } catch (const std::system_error&) {
            --m_threads; // out of threads: the job waits for a busy one
        }
    }
    lock.unlock();
    m_work.notify_one();
}

void ElasticThreadPool::shutdown() {
    std::unique_lock lock(m_lock);
    m_shutdown = true;
    m_work.notify_all();
    m_ended.wait(lock, [this] { return m_threads == 0; });
}

std::size_t ElasticThreadPool::Threads() const {
    std::lock_guard lock(m_lock);
    return m_threads;
}

void ElasticThreadPool::Work() {
    std::unique_lock lock(m_lock);
    for (;;) {
        ++m_idle;
        const bool woken =
            m_work.wait_for(lock, m_idleExit, [this] { return !m_jobs.empty() || m_shutdown; });
        --m_idle;
        if (!m_jobs.empty()) {
            auto job = std::move(m_jobs.front());
            m_jobs.pop_front();
            lock.unlock();
            job();
            job = nullptr; // whatever the job captured goes before the lock is taken again
            lock.lock();
            continue;
        }
        if (m_shutdown || (!woken && m_threads > m_keptThreads))
            break;
    }
    --m_threads;
    // Notified under the lock: shutdown() cannot return, and the pool cannot go, before this
    // thread has let go of the lock, after which it touches nothing of the pool.
    m_ended.notify_all();
}

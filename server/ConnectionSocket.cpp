#include "server/ConnectionSocket.h"

#include "server/BoundedHttpServer.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>

#include <thread>

ConnectionSocket ConnectionSocket::Serving() {
    return ConnectionSocket(BoundedHttpServer::ServingSocket());
}

ConnectionSocket::WaitResult ConnectionSocket::Wait(std::chrono::milliseconds duration,
                                                    const std::atomic<bool>& stopping) const {
    using Clock = std::chrono::steady_clock;
    const bool forever = duration.count() < 0;
    const auto deadline = Clock::now() + (forever ? std::chrono::milliseconds(0) : duration);
    // Short slices so that a stopping server is noticed soon.
    constexpr auto kSlice = std::chrono::milliseconds(50);
    for (;;) {
        if (stopping)
            return WaitResult::Stopping;
        auto slice = kSlice;
        if (!forever) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0)
                return WaitResult::Elapsed;
            if (left < slice)
                slice = left;
        }
        if (m_fd < 0) {
            std::this_thread::sleep_for(slice);
            continue;
        }
        // Only the peer's end of the connection is watched: data it sends ahead is left unread.
        pollfd watch{m_fd, POLLRDHUP, 0};
        const int ready = poll(&watch, 1, static_cast<int>(slice.count()));
        if (ready > 0 && (watch.revents & (POLLRDHUP | POLLHUP | POLLERR | POLLNVAL)))
            return WaitResult::PeerGone;
    }
}

void ConnectionSocket::Cut() const {
    if (m_fd >= 0)
        shutdown(m_fd, SHUT_RDWR);
}

void ConnectionSocket::NoDelay() const {
    if (m_fd < 0)
        return;
    const int on = 1;
    setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

bool ConnectionSocket::Send(const char* data, std::size_t size) const {
    while (m_fd >= 0 && size > 0) {
        const ssize_t sent = ::send(m_fd, data, size, MSG_NOSIGNAL);
        if (sent <= 0)
            return false;
        data += sent;
        size -= static_cast<std::size_t>(sent);
    }
    return m_fd >= 0;
}

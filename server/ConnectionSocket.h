// The socket of the connection a request arrived on, as BoundedHttpServer hands it to the thread
// that runs the request's handler. A ConnectionSocket only borrows the descriptor: it is valid
// while the handler runs (the server closes it only after the handler has returned) and never
// closes it.
//
// Faults need it: a hung answer ends when the till gives up (the peer closes), a reset closes the
// connection mid-body, and a slow body stops when nobody reads it any more.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>

class ConnectionSocket {
public:
    enum class WaitResult { Elapsed, PeerGone, Stopping };

    // The connection whose request the calling thread is handling; !Found() outside a handler.
    static ConnectionSocket Serving();

    bool Found() const { return m_fd >= 0; }

    // Waits `duration` (forever when negative) unless the peer closes its side first or
    // `stopping` becomes true. Without a socket it only watches `stopping`.
    WaitResult Wait(std::chrono::milliseconds duration, const std::atomic<bool>& stopping) const;
    // Ends the connection in both directions; the server's next read or write fails and it
    // closes the descriptor itself.
    void Cut() const;
    void NoDelay() const;
    // Writes `size` bytes past httplib (a reply trickled with its status line); false when the
    // peer is gone.
    bool Send(const char* data, std::size_t size) const;

private:
    explicit ConnectionSocket(int fd) : m_fd(fd) {}
    int m_fd = -1;
};

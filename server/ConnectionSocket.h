// The socket of the connection a request arrived on. httplib owns it and does not show it to a
// handler, so it is found by its addresses among the process's descriptors. A ConnectionSocket
// only borrows the descriptor: it is valid while the handler runs (httplib closes it only after
// the handler has returned) and never closes it.
//
// Faults need it: a hung answer ends when the till gives up (the peer closes), a reset closes the
// connection mid-body, and a slow body stops when nobody reads it any more.
#pragma once

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <cstddef>

class ConnectionSocket {
public:
    enum class WaitResult { Elapsed, PeerGone, Stopping };

    // The connection of `request`; !Found() when it cannot be told apart.
    static ConnectionSocket Of(const httplib::Request& request);

    bool Found() const { return m_fd >= 0; }

    // Waits `duration` (forever when negative) unless the peer closes its side first or
    // `stopping` becomes true. Without a socket it only watches `stopping`.
    WaitResult Wait(std::chrono::milliseconds duration, const std::atomic<bool>& stopping) const;
    // Ends the connection in both directions; httplib's next read or write fails and it closes
    // the descriptor itself.
    void Cut() const;
    void NoDelay() const;
    // Writes `size` bytes past httplib (a reply trickled with its status line); false when the
    // peer is gone.
    bool Send(const char* data, std::size_t size) const;

    // Cuts every connection accepted on `localPort` (idle keep-alive ones included), so that a
    // stopping server is not held up by clients that keep their connections open.
    static void CutAll(int localPort);

private:
    explicit ConnectionSocket(int fd) : m_fd(fd) {}
    int m_fd = -1;
};

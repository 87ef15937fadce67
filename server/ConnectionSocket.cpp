#include "server/ConnectionSocket.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <thread>

namespace {

struct Endpoint {
    std::string address;
    int port = -1;
};

bool Describe(const sockaddr_storage& addr, Endpoint& out) {
    char text[INET6_ADDRSTRLEN] = {};
    if (addr.ss_family == AF_INET) {
        const auto* in = reinterpret_cast<const sockaddr_in*>(&addr);
        inet_ntop(AF_INET, &in->sin_addr, text, sizeof text);
        out = {text, ntohs(in->sin_port)};
        return true;
    }
    if (addr.ss_family == AF_INET6) {
        const auto* in6 = reinterpret_cast<const sockaddr_in6*>(&addr);
        inet_ntop(AF_INET6, &in6->sin6_addr, text, sizeof text);
        out = {text, ntohs(in6->sin6_port)};
        return true;
    }
    return false;
}

bool LocalAndPeer(int fd, Endpoint& local, Endpoint& peer) {
    sockaddr_storage addr{};
    socklen_t length = sizeof addr;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &length) != 0 || !Describe(addr, local))
        return false;
    length = sizeof addr;
    if (getpeername(fd, reinterpret_cast<sockaddr*>(&addr), &length) != 0 || !Describe(addr, peer))
        return false;
    return true;
}

// Calls `visit` with every open descriptor number of the process until it returns true.
int FindDescriptor(const std::function<bool(int)>& visit) {
    DIR* dir = opendir("/proc/self/fd");
    if (!dir)
        return -1;
    const int own = dirfd(dir);
    int found = -1;
    while (const dirent* entry = readdir(dir)) {
        char* end = nullptr;
        const long fd = std::strtol(entry->d_name, &end, 10);
        if (end == entry->d_name || *end != '\0' || fd == own)
            continue;
        if (visit(static_cast<int>(fd))) {
            found = static_cast<int>(fd);
            break;
        }
    }
    closedir(dir);
    return found;
}

} // namespace

ConnectionSocket ConnectionSocket::Of(const httplib::Request& request) {
    return ConnectionSocket(FindDescriptor([&](int fd) {
        Endpoint local, peer;
        return LocalAndPeer(fd, local, peer) && local.port == request.local_port &&
               peer.port == request.remote_port && peer.address == request.remote_addr;
    }));
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

void ConnectionSocket::CutAll(int localPort) {
    FindDescriptor([&](int fd) {
        Endpoint local, peer;
        if (LocalAndPeer(fd, local, peer) && local.port == localPort)
            shutdown(fd, SHUT_RDWR);
        return false;
    });
}

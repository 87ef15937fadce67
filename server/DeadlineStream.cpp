#include "server/DeadlineStream.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>

namespace {

void Describe(const sockaddr_storage& addr, std::string& ip, int& port) {
    char text[INET6_ADDRSTRLEN] = {};
    if (addr.ss_family == AF_INET) {
        const auto* in = reinterpret_cast<const sockaddr_in*>(&addr);
        inet_ntop(AF_INET, &in->sin_addr, text, sizeof text);
        port = ntohs(in->sin_port);
    } else if (addr.ss_family == AF_INET6) {
        const auto* in6 = reinterpret_cast<const sockaddr_in6*>(&addr);
        inet_ntop(AF_INET6, &in6->sin6_addr, text, sizeof text);
        port = ntohs(in6->sin6_port);
    }
    ip = text;
}

} // namespace

bool DeadlineStream::Poll(socket_t sock, short events, std::chrono::milliseconds wait) {
    pollfd one{sock, events, 0};
    int rc;
    do {
        rc = ::poll(&one, 1, static_cast<int>(std::max<std::int64_t>(wait.count(), 0)));
    } while (rc < 0 && errno == EINTR);
    return rc > 0;
}

void DeadlineStream::StartRequest(std::chrono::milliseconds deadline) {
    m_deadline = std::chrono::steady_clock::now() + deadline;
}

std::chrono::milliseconds DeadlineStream::Remaining() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(m_deadline -
                                                                 std::chrono::steady_clock::now());
}

bool DeadlineStream::is_readable() const {
    return Buffered() || Poll(m_sock, POLLIN, Remaining());
}

bool DeadlineStream::is_writable() const {
    return Poll(m_sock, POLLOUT, m_writeTimeout);
}

ssize_t DeadlineStream::read(char* ptr, size_t size) {
    if (m_begin == m_end) {
        const ssize_t got = Receive(m_buffer, sizeof m_buffer);
        if (got <= 0)
            return got;
        m_begin = 0;
        m_end = static_cast<std::size_t>(got);
    }
    const std::size_t n = std::min(size, m_end - m_begin);
    std::copy_n(m_buffer + m_begin, n, ptr);
    m_begin += n;
    return static_cast<ssize_t>(n);
}

void DeadlineStream::get_remote_ip_and_port(std::string& ip, int& port) const {
    sockaddr_storage addr{};
    socklen_t length = sizeof addr;
    if (::getpeername(m_sock, reinterpret_cast<sockaddr*>(&addr), &length) == 0)
        Describe(addr, ip, port);
}

void DeadlineStream::get_local_ip_and_port(std::string& ip, int& port) const {
    sockaddr_storage addr{};
    socklen_t length = sizeof addr;
    if (::getsockname(m_sock, reinterpret_cast<sockaddr*>(&addr), &length) == 0)
        Describe(addr, ip, port);
}

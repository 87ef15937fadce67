#include "server/BoundedHttpServer.h"

#include "server/Record.h"

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/filter.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

// How often a waiting connection looks whether the server is stopping.
constexpr std::chrono::milliseconds kStopCheck{100};

bool Poll(socket_t sock, short events, std::chrono::milliseconds wait) {
    pollfd one{sock, events, 0};
    int rc;
    do {
        rc = ::poll(&one, 1, static_cast<int>(std::max<std::int64_t>(wait.count(), 0)));
    } while (rc < 0 && errno == EINTR);
    return rc > 0;
}

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

// One connection's stream for httplib, whose reads end at the current request's deadline. Reads
// are buffered: the library reads the request head a byte at a time. Over TLS the socket is
// non-blocking and every read, write and the handshake wait in poll(), so that a record that
// arrives in pieces cannot hold the thread past the deadline.
class DeadlineStream : public httplib::Stream {
public:
    DeadlineStream(socket_t sock, SSL* tls, std::chrono::milliseconds writeTimeout)
        : m_sock(sock), m_tls(tls), m_writeTimeout(writeTimeout) {}

    void StartRequest(std::chrono::milliseconds deadline) { m_deadline = Clock::now() + deadline; }
    bool Buffered() const { return m_begin < m_end || (m_tls && SSL_pending(m_tls) > 0); }

    // The TLS handshake, within the current deadline.
    bool Handshake() {
        for (;;) {
            const int rc = SSL_accept(m_tls);
            if (rc == 1)
                return true;
            if (!AwaitTls(rc, Remaining()))
                return false;
        }
    }

    bool is_readable() const override {
        return Buffered() || Poll(m_sock, POLLIN, Remaining());
    }
    bool is_writable() const override { return Poll(m_sock, POLLOUT, m_writeTimeout); }

    ssize_t read(char* ptr, size_t size) override {
        if (m_begin == m_end) {
            const ssize_t got = Receive();
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

    ssize_t write(const char* ptr, size_t size) override {
        if (!m_tls)
            return is_writable() ? ::send(m_sock, ptr, size, MSG_NOSIGNAL) : -1;
        if (size == 0)
            return 0; // SSL_write would report nothing written as an error
        for (;;) {
            const int rc = SSL_write(m_tls, ptr, static_cast<int>(std::min<size_t>(size, INT32_MAX)));
            if (rc > 0)
                return rc;
            if (!AwaitTls(rc, m_writeTimeout))
                return -1;
        }
    }

    void get_remote_ip_and_port(std::string& ip, int& port) const override {
        sockaddr_storage addr{};
        socklen_t length = sizeof addr;
        if (::getpeername(m_sock, reinterpret_cast<sockaddr*>(&addr), &length) == 0)
            Describe(addr, ip, port);
    }
    void get_local_ip_and_port(std::string& ip, int& port) const override {
        sockaddr_storage addr{};
        socklen_t length = sizeof addr;
        if (::getsockname(m_sock, reinterpret_cast<sockaddr*>(&addr), &length) == 0)
            Describe(addr, ip, port);
    }
    socket_t socket() const override { return m_sock; }

private:
    std::chrono::milliseconds Remaining() const {
        return std::chrono::duration_cast<std::chrono::milliseconds>(m_deadline - Clock::now());
    }

    // Fills the buffer: -1 once the deadline has passed (the library answers nothing and closes).
    ssize_t Receive() {
        if (!m_tls)
            return is_readable() ? ::recv(m_sock, m_buffer, sizeof m_buffer, 0) : -1;
        for (;;) {
            const int rc = SSL_read(m_tls, m_buffer, sizeof m_buffer);
            if (rc > 0)
                return rc;
            if (SSL_get_error(m_tls, rc) == SSL_ERROR_ZERO_RETURN)
                return 0;
            if (!AwaitTls(rc, Remaining()))
                return -1;
        }
    }

    // After a TLS call returned `rc`: waits up to `wait` for what it needs; false for any other
    // error or when the time is up.
    bool AwaitTls(int rc, std::chrono::milliseconds wait) const {
        switch (SSL_get_error(m_tls, rc)) {
        case SSL_ERROR_WANT_READ:
            return Poll(m_sock, POLLIN, wait);
        case SSL_ERROR_WANT_WRITE:
            return Poll(m_sock, POLLOUT, wait);
        default:
            ERR_clear_error();
            return false;
        }
    }

    const socket_t m_sock;
    SSL* const m_tls;
    const std::chrono::milliseconds m_writeTimeout;
    Clock::time_point m_deadline;
    char m_buffer[4096];
    std::size_t m_begin = 0, m_end = 0;
};

// Written without waiting: a client that does not read its refusal loses it.
void Refuse(socket_t sock) {
    const std::string body = Record::Refused("서버가 바쁩니다. 잠시 후 다시 시도하세요");
    const std::string answer = "HTTP/1.1 503 Service Unavailable\r\nContent-Type: text/plain; charset=utf-8\r\n"
                               "Content-Length: " + std::to_string(body.size()) +
                               "\r\nConnection: close\r\n\r\n" + body;
    ::send(sock, answer.data(), answer.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
}

} // namespace

BoundedHttpServer::BoundedHttpServer(ConnectionLimits limits) : m_limits(limits) {}

BoundedHttpServer::~BoundedHttpServer() { SSL_CTX_free(m_tls); }

bool BoundedHttpServer::UseTls(const std::string& certificateChain, const std::string& privateKey,
                               std::string& error) {
    SSL_CTX* tls = SSL_CTX_new(TLS_server_method());
    const bool ready = tls && SSL_CTX_set_min_proto_version(tls, TLS1_2_VERSION) == 1 &&
                       SSL_CTX_use_certificate_chain_file(tls, certificateChain.c_str()) == 1 &&
                       SSL_CTX_use_PrivateKey_file(tls, privateKey.c_str(), SSL_FILETYPE_PEM) == 1 &&
                       SSL_CTX_check_private_key(tls) == 1;
    if (!ready) {
        char reason[256] = "no TLS context";
        if (const unsigned long code = ERR_get_error())
            ERR_error_string_n(code, reason, sizeof reason);
        ERR_clear_error();
        error = reason;
        SSL_CTX_free(tls);
        return false;
    }
    // A till opens a connection per exchange and never resumes a session.
    SSL_CTX_set_session_cache_mode(tls, SSL_SESS_CACHE_OFF);
    SSL_CTX_free(m_tls);
    m_tls = tls;
    return true;
}

void BoundedHttpServer::RaiseDescriptorLimit() {
    // Both ends of the proxy's own connection, the database, the logs: a margin for them.
    constexpr rlim_t kWanted = ConnectionLimits::kMaxConnections * 2 + 256;
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < kWanted) {
        limit.rlim_cur = std::min(kWanted, limit.rlim_max);
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

void BoundedHttpServer::DeepenBacklog() {
    ::listen(svr_sock_, SOMAXCONN);
}

bool BoundedHttpServer::DropConnects(bool on) {
    if (!on) {
        const int unused = 0; // the kernel wants an int-sized value even here
        return ::setsockopt(svr_sock_, SOL_SOCKET, SO_DETACH_FILTER, &unused, sizeof unused) == 0;
    }
    static sock_filter dropAll[] = {{BPF_RET | BPF_K, 0, 0, 0}};
    const sock_fprog program{1, dropAll};
    return ::setsockopt(svr_sock_, SOL_SOCKET, SO_ATTACH_FILTER, &program, sizeof program) == 0;
}

bool BoundedHttpServer::AwaitRequest(socket_t sock) const {
    const auto until = Clock::now() + m_limits.keepAliveIdle;
    while (svr_sock_ != INVALID_SOCKET) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
        if (left.count() <= 0)
            return false;
        if (Poll(sock, POLLIN, std::min(left, kStopCheck)))
            return true;
    }
    return false;
}

bool BoundedHttpServer::process_and_close_socket(socket_t sock) {
    bool served = false;
    if (m_open.fetch_add(1) >= m_limits.maxConnections) {
        Refuse(sock);
    } else {
        // Over TLS the handshake comes first, within the deadline of the request it carries.
        SSL* tls = m_tls ? SSL_new(m_tls) : nullptr;
        DeadlineStream stream(sock, tls, std::chrono::seconds(write_timeout_sec_));
        bool open = !m_tls;
        if (tls) {
            ::fcntl(sock, F_SETFL, ::fcntl(sock, F_GETFL) | O_NONBLOCK);
            SSL_set_fd(tls, sock);
            open = AwaitRequest(sock);
            if (open) {
                stream.StartRequest(m_limits.requestDeadline);
                open = stream.Handshake();
            }
        }
        for (std::size_t left = open ? keep_alive_max_count_ : 0; left > 0; --left) {
            if (!stream.Buffered() && !AwaitRequest(sock))
                break;
            stream.StartRequest(m_limits.requestDeadline);
            bool closed = false;
            served = process_request(stream, left == 1, closed, nullptr);
            if (!served || closed)
                break;
        }
        if (tls) {
            if (open)
                SSL_shutdown(tls); // one try: the close_notify goes if the socket takes it
            SSL_free(tls);
        }
    }
    m_open.fetch_sub(1);
    ::shutdown(sock, SHUT_RDWR);
    ::close(sock);
    return served;
}

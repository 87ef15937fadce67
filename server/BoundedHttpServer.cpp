#include "server/BoundedHttpServer.h"

#include "server/ClientAddress.h"
#include "server/PlainStream.h"
#include "server/Record.h"
#include "server/TlsStream.h"

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <linux/filter.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <string>

namespace {

// How often a waiting connection looks whether the server is stopping.
constexpr std::chrono::milliseconds kStopCheck{100};

// Set by the pool thread for the connection it serves, read by that connection's handlers.
thread_local socket_t t_servingSocket = INVALID_SOCKET;

// Written without waiting: a client that does not read its refusal loses it.
void Refuse(socket_t sock) {
    const std::string body = Record::Refused("서버가 바쁩니다. 잠시 후 다시 시도하세요");
    const std::string answer =
        "HTTP/1.1 503 Service Unavailable\r\nContent-Type: text/plain; charset=utf-8\r\n"
        "Content-Length: " +
        std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
    ::send(sock, answer.data(), answer.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
}

// The peer's client group, as the per-address cap counts it (and the login throttle too).
std::string ClientGroup(socket_t sock) {
    sockaddr_storage peer{};
    socklen_t size = sizeof peer;
    if (::getpeername(sock, reinterpret_cast<sockaddr*>(&peer), &size) != 0)
        return {};
    const auto client = ClientAddress::FromSocket(reinterpret_cast<const sockaddr&>(peer));
    return client ? client->Group() : std::string();
}

} // namespace

BoundedHttpServer::BoundedHttpServer(std::size_t maxConnections, std::size_t maxPerAddress)
    : m_maxConnections(maxConnections), m_maxPerAddress(maxPerAddress) {
    set_read_timeout(kRequestDeadline);
    set_keep_alive_timeout(kKeepAliveIdle.count());
}

BoundedHttpServer::~BoundedHttpServer() {
    SSL_CTX_free(m_tls);
}

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
    constexpr rlim_t kWanted = kMaxConnections * 2 + 256;
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < kWanted) {
        limit.rlim_cur = std::min(kWanted, limit.rlim_max);
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

void BoundedHttpServer::DeepenBacklog() {
    ::listen(svr_sock_, SOMAXCONN);
}

std::size_t BoundedHttpServer::OpenConnections() const {
    std::lock_guard<std::mutex> hold(m_connectionsLock);
    return m_connections.size();
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

void BoundedHttpServer::Stop() {
    stop();
    std::lock_guard hold(m_connectionsLock);
    for (const socket_t sock : m_connections)
        ::shutdown(sock, SHUT_RDWR);
}

socket_t BoundedHttpServer::ServingSocket() {
    return t_servingSocket;
}

std::chrono::milliseconds BoundedHttpServer::RequestDeadline() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::seconds(read_timeout_sec_) + std::chrono::microseconds(read_timeout_usec_));
}

std::chrono::milliseconds BoundedHttpServer::WriteTimeout() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::seconds(write_timeout_sec_) + std::chrono::microseconds(write_timeout_usec_));
}

bool BoundedHttpServer::AwaitRequest(socket_t sock) const {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(keep_alive_timeout_sec_);
    while (svr_sock_ != INVALID_SOCKET) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        if (DeadlineStream::Poll(sock, POLLIN, std::min(left, kStopCheck)))
            return true;
    }
    return false;
}

bool BoundedHttpServer::Admit(const std::string& address) {
    std::size_t& fromThere = m_perAddress[address];
    if (m_admitted >= m_maxConnections || fromThere >= m_maxPerAddress) {
        if (fromThere == 0)
            m_perAddress.erase(address);
        return false;
    }
    ++fromThere;
    ++m_admitted;
    return true;
}

void BoundedHttpServer::Release(const std::string& address) {
    --m_admitted;
    if (const auto it = m_perAddress.find(address); it != m_perAddress.end() && --it->second == 0)
        m_perAddress.erase(it);
}

bool BoundedHttpServer::process_and_close_socket(socket_t sock) {
    const std::string address = ClientGroup(sock);
    bool admitted;
    {
        std::lock_guard hold(m_connectionsLock);
        admitted = Admit(address);
        m_connections.insert(sock);
    }
    bool served = false;
    if (!admitted) {
        // A TLS client would take plain text for a broken handshake; it is closed instead.
        if (!m_tls)
            Refuse(sock);
    } else if (m_tls) {
        TlsStream stream(sock, m_tls, WriteTimeout());
        // The handshake comes first, within the deadline of the request it carries.
        if (AwaitRequest(sock)) {
            stream.StartRequest(RequestDeadline());
            served = stream.Handshake() && ServeRequests(stream);
        }
    } else {
        PlainStream stream(sock, WriteTimeout());
        served = ServeRequests(stream);
    }
    {
        // Out of the set before it is closed: Stop() must never shut a number the kernel reuses.
        std::lock_guard hold(m_connectionsLock);
        m_connections.erase(sock);
        if (admitted)
            Release(address);
    }
    ::shutdown(sock, SHUT_RDWR);
    ::close(sock);
    return served;
}

bool BoundedHttpServer::ServeRequests(DeadlineStream& stream) {
    t_servingSocket = stream.socket();
    bool served = false;
    for (std::size_t left = keep_alive_max_count_; left > 0; --left) {
        if (!stream.Buffered() && !AwaitRequest(stream.socket()))
            break;
        stream.StartRequest(RequestDeadline());
        bool closed = false;
        served = process_request(stream, left == 1, closed, nullptr);
        if (!served || closed)
            break;
    }
    t_servingSocket = INVALID_SOCKET;
    return served;
}

// httplib's server with the bounds a server on a shop's network needs. httplib gives every
// connection a thread for its whole life and lets a client take as long as it likes over its
// request, as long as one byte arrives per read time-out; a few hundred clients that trickle
// their requests would then hold every thread. This class serves each connection itself:
// - a cap on open connections, and a lower one per client address, so that one address that
//   floods leaves room for the tills at every other; past either a connection gets a 503 (on a
//   TLS port: nothing, it is closed, as plain text there would be garbage to the client) and is
//   closed at once, so that the excess costs a moment of one thread instead of a thread each;
// - each request, head and body, must have arrived within a deadline from its first byte;
// - a kept-alive connection that sends nothing for a while is closed.
// The deadline is httplib's read time-out and the idle limit its keep-alive time-out: set them
// with set_read_timeout and set_keep_alive_timeout (the defaults below are the server's).
// It also deepens the accept queue and can drop connects (the blackhole fault), and serves over
// TLS when given a certificate: the handshake counts within the request's deadline. It keeps the
// open connections' sockets, so that a handler can reach its own and Stop() can end them all.
//
// Threads: the accept loop runs in listen_after_bind(); each connection on a pool thread.
#pragma once

#include <httplib.h>

#include <chrono>
#include <cstddef>
#include <mutex>
#include <set>
#include <string>
#include <unordered_map>

struct ssl_ctx_st;

class DeadlineStream;

class BoundedHttpServer : public httplib::Server {
public:
    // Two hundred tills at most in the largest shop chain we serve from one server, each with a
    // poll and an operation at once, and the proxy's second connection: far below this. A thread
    // costs its stack's touched pages (tens of KB), so the cap keeps memory to a few tens of MB.
    static constexpr std::size_t kMaxConnections = 2000;
    // A shop's tills reach us from one address behind its router: twenty tills, each with a poll,
    // an operation and a login at once, stay far below this, with room for the idle connections a
    // till under Wine parks (README, the soak). Twenty flooding addresses are needed to fill the
    // server. An IPv6 client counts by its /64, which one host may hold whole.
    static constexpr std::size_t kMaxConnectionsPerAddress = 100;
    // A till's request is one packet of a few hundred bytes; even a phone-tethered till sends it
    // in well under a second.
    static constexpr std::chrono::milliseconds kRequestDeadline{4000};
    // The till opens a connection per exchange, so an idle kept-alive one is a test client's.
    static constexpr std::chrono::seconds kKeepAliveIdle{5};

    // `maxConnections`: open at once, `maxPerAddress` of them from one client address; tests
    // choose fewer.
    explicit BoundedHttpServer(std::size_t maxConnections = kMaxConnections,
                               std::size_t maxPerAddress = kMaxConnectionsPerAddress);
    ~BoundedHttpServer() override;

    // Serves https from now on with this certificate chain and key (PEM files). False, with the
    // reason in `error`, when they cannot be read or do not belong together. Before listening.
    bool UseTls(const std::string& certificateChain, const std::string& privateKey, std::string& error);

    // Raises this process's descriptor limit to what kMaxConnections needs, as far as the hard
    // limit allows: each connection is a descriptor, and past the limit accept() fails.
    static void RaiseDescriptorLimit();

    // A backlog deep enough for two hundred tills that connect at once; the library's own backlog
    // of five would drop connection attempts into second-long retries. Call after binding.
    void DeepenBacklog();
    // While on, every packet that reaches the listening socket is dropped, SYNs included: a
    // connect to the port goes unanswered and retries, as toward a host that is down or a
    // firewall that drops. Connections already made carry on.
    bool DropConnects(bool on);

    bool ServesTls() const { return m_tls != nullptr; }

    // Stops accepting, as stop() does, and ends every open connection, idle kept-alive ones and
    // those whose handler still runs included: their next read or write fails.
    void Stop();

    // Connections accepted and not yet closed, refused ones included until they are.
    std::size_t OpenConnections() const;

    // The socket of the connection that the calling thread serves, for a handler that acts on it
    // past httplib (a fault); INVALID_SOCKET outside a handler.
    static socket_t ServingSocket();

private:
    bool process_and_close_socket(socket_t sock) override;
    // Serves the requests of one connection, after its TLS handshake if any.
    bool ServeRequests(DeadlineStream& stream);
    // Whether a request begins on `sock` within the keep-alive time-out; false as well once the
    // server stops.
    bool AwaitRequest(socket_t sock) const;
    std::chrono::milliseconds RequestDeadline() const;
    std::chrono::milliseconds WriteTimeout() const;

    // Admits a connection from `address` within both caps, or refuses it. Under m_connectionsLock.
    bool Admit(const std::string& address);
    void Release(const std::string& address);

    const std::size_t m_maxConnections;
    const std::size_t m_maxPerAddress;
    mutable std::mutex m_connectionsLock; // guards m_connections, m_admitted and m_perAddress
    // Every accepted socket until just before it is closed, refused ones included.
    std::set<socket_t> m_connections;
    std::size_t m_admitted = 0;
    std::unordered_map<std::string, std::size_t> m_perAddress; // admitted ones, by ClientAddress::Group()
    ssl_ctx_st* m_tls = nullptr; // set before listening, read-only while serving
};

// httplib's server with the bounds a server on a shop's network needs. httplib gives every
// connection a thread for its whole life and lets a client take as long as it likes over its
// request, as long as one byte arrives per read time-out; a few hundred clients that trickle
// their requests would then hold every thread. This class serves each connection itself:
// - a cap on open connections; past it a connection gets a 503 and is closed at once, so that
//   the excess costs a moment of one thread instead of a thread each;
// - each request, head and body, must have arrived within a deadline from its first byte;
// - a kept-alive connection that sends nothing for a while is closed.
// It also deepens the accept queue and can drop connects (the blackhole fault), and serves over
// TLS when given a certificate: the handshake counts within the request's deadline.
//
// Threads: the accept loop runs in listen_after_bind(); each connection on a pool thread.
#pragma once

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <string>

struct ssl_ctx_st;

// The bounds, each with its reason; tests choose smaller ones.
struct ConnectionLimits {
    // Two hundred tills at most in the largest shop chain we serve from one server, each with a
    // poll and an operation at once, and the proxy's second connection: far below this. A thread
    // costs its stack's touched pages (tens of KB), so the cap keeps memory to a few tens of MB.
    static constexpr std::size_t kMaxConnections = 2000;
    // A till's request is one packet of a few hundred bytes; even a phone-tethered till sends it
    // in well under a second.
    static constexpr std::chrono::milliseconds kRequestDeadline{4000};
    // The till opens a connection per exchange, so an idle kept-alive one is a test client's.
    static constexpr std::chrono::milliseconds kKeepAliveIdle{5000};

    std::size_t maxConnections = kMaxConnections;
    std::chrono::milliseconds requestDeadline = kRequestDeadline;
    std::chrono::milliseconds keepAliveIdle = kKeepAliveIdle;
};

class BoundedHttpServer : public httplib::Server {
public:
    explicit BoundedHttpServer(ConnectionLimits limits = {});
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

    std::size_t OpenConnections() const { return m_open.load(); }
    bool ServesTls() const { return m_tls != nullptr; }

private:
    bool process_and_close_socket(socket_t sock) override;
    // Whether a request begins on `sock` within kKeepAliveIdle; false as well once the server stops.
    bool AwaitRequest(socket_t sock) const;

    const ConnectionLimits m_limits;
    std::atomic<std::size_t> m_open{0};
    ssl_ctx_st* m_tls = nullptr; // set before listening, read-only while serving
};

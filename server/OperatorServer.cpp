#include "server/OperatorServer.h"

#include "server/BoundedHttpServer.h"
#include "server/ElasticThreadPool.h"
#include "server/SimulationApi.h"

#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>

namespace {

// Each open connection holds a pool thread; the connections past the cap take one only for the
// moment their refusal takes.
constexpr std::size_t kMaxThreads = BoundedHttpServer::kMaxConnections + 64;
constexpr std::size_t kKeptThreads = 8;
constexpr auto kIdleThreadExit = std::chrono::seconds(10);

// The reason a bind to host:port fails, found by trying it once more with a socket of our own
// (the HTTP layer keeps errno to itself).
std::string BindFailure(const std::string& host, int port) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE;
    addrinfo* found = nullptr;
    const int rc = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
    if (rc != 0)
        return std::string("unknown host: ") + gai_strerror(rc);
    std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> owner(found, freeaddrinfo);
    const int fd = socket(found->ai_family, found->ai_socktype, found->ai_protocol);
    if (fd < 0)
        return std::strerror(errno);
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    std::string why = "cannot listen";
    if (bind(fd, found->ai_addr, found->ai_addrlen) != 0) {
        why = errno == EADDRINUSE ? "port already in use" : std::strerror(errno);
    }
    close(fd);
    return why;
}

} // namespace

OperatorServer::OperatorServer(Books& books, LogSink log, Simulation simulation, std::string downloads,
                               std::vector<ClientAddress> trustedProxies)
    : m_http(std::make_unique<BoundedHttpServer>()), m_downloads(std::move(downloads)),
      m_delivery(m_faults, m_stopping), m_routes(books) {
    m_http->new_task_queue = [] { return new ElasticThreadPool(kMaxThreads, kKeptThreads, kIdleThreadExit); };
    m_http->set_payload_max_length(1 << 20);
    m_http->set_keep_alive_max_count(100);
    // A reply leaves in two writes (head, then body); without NODELAY the second waits for the
    // ACK of the first, which a kept-alive client delays by 40 ms. Accepted sockets inherit it.
    m_http->set_tcp_nodelay(true);
    // The library's default adds SO_REUSEPORT, with which a second server binds a port that a
    // running one listens on and the kernel splits the tills between two sets of books. Only
    // SO_REUSEADDR: a restart may take the port over from connections in TIME_WAIT, nothing more.
    m_http->set_socket_options([](int sock) {
        const int on = 1;
        ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    });
    m_downloads.AddTo(m_routes);
    if (simulation == Simulation::On) {
        m_simulation = std::make_unique<SimulationApi>(
            books, m_faults, m_requests, [this](bool on) { return m_http->DropConnects(on); }, m_stopping);
        m_simulation->AddTo(m_routes);
    }
    // Only the simulation serves the request log; without it nothing is kept.
    m_router = std::make_unique<Router>(*m_http, m_routes, m_delivery,
                                        simulation == Simulation::On ? &m_requests : nullptr, std::move(log),
                                        std::move(trustedProxies));
}

OperatorServer::~OperatorServer() {
    Stop();
}

bool OperatorServer::UseTls(const std::string& certificateChain, const std::string& privateKey,
                            std::string& error) {
    return m_http->UseTls(certificateChain, privateKey, error);
}

bool OperatorServer::Bind(const std::string& host, int port, std::string& error) {
    std::signal(SIGPIPE, SIG_IGN);
    BoundedHttpServer::RaiseDescriptorLimit();
    if (port < 0 || port > 65535) {
        error = "port out of range";
        return false;
    }
    const int bound =
        port == 0 ? m_http->bind_to_any_port(host) : (m_http->bind_to_port(host, port) ? port : -1);
    if (bound <= 0) {
        error = BindFailure(host, port);
        return false;
    }
    m_http->DeepenBacklog();
    m_port = bound;
    return true;
}

void OperatorServer::Start() {
    m_thread = std::thread([this] { m_http->listen_after_bind(); });
    // httplib's stop() does nothing until the accept loop runs: a Stop() that came earlier would
    // leave the loop waiting in accept() for ever.
    while (!m_http->is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void OperatorServer::Stop() {
    if (m_stopping.exchange(true)) {
        if (m_thread.joinable())
            m_thread.join();
        return;
    }
    m_http->Stop();
    if (m_thread.joinable())
        m_thread.join();
    // No request thread is left to start the blackhole's watcher now.
    if (m_simulation)
        m_simulation->Stop();
}

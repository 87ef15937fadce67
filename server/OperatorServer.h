// quillon-server's process side: it wires the parts and starts and stops them. The Routes table
// says what each path serves (the till's endpoints answered by the books, the downloads, and with
// the simulation its API); the Router hands it to the HTTP layer; FaultDelivery delivers the
// till's replies under the faults armed through the simulation.
//
// Threads: Start() runs the accept loop on a thread of its own; each connection is served on a
// thread of an elastic pool, so a delayed or hung answer holds only its own connection's thread.
// Ignores SIGPIPE for the whole process: a till that hangs up mid-answer must not end the server.
#pragma once

#include "server/Books.h"
#include "server/ClientAddress.h"
#include "server/DownloadsPage.h"
#include "server/FaultDelivery.h"
#include "server/FaultTable.h"
#include "server/RequestLog.h"
#include "server/Router.h"
#include "server/Routes.h"

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

class BoundedHttpServer;
class SimulationApi;

class OperatorServer {
public:
    // Receives one line per answered request (no newline). Called from request threads.
    using LogSink = Router::LogSink;

    // Whether /sim/* and /app are served. They confirm any pending operation as any customer,
    // change shops, hang tills and show the request log: for tests and the demo only.
    enum class Simulation { Off, On };

    // `downloads`: the folder the site root offers for download (empty: none, the page says so).
    // `trustedProxies`: the operator's reverse proxies, whose X-Forwarded-For names the client.
    OperatorServer(Books& books, LogSink log, Simulation simulation, std::string downloads = "",
                   std::vector<ClientAddress> trustedProxies = {});
    ~OperatorServer();
    OperatorServer(const OperatorServer&) = delete;
    OperatorServer& operator=(const OperatorServer&) = delete;

    // Listens on host:port (port 0: any free port). False, with a reason in `error`, when the
    // address cannot be used (a port in use, an unknown host).
    bool Bind(const std::string& host, int port, std::string& error);
    // Serves https with this certificate chain and key (PEM files) instead of http; before Start().
    // False, with the reason in `error`, when they cannot be used.
    bool UseTls(const std::string& certificateChain, const std::string& privateKey, std::string& error);
    int Port() const { return m_port; }

    // Serves on its own thread until Stop(). Requires a successful Bind().
    void Start();
    // Stops accepting, ends every open connection (idle, delayed or hung ones included) and
    // waits for the request threads. Safe to call more than once.
    void Stop();

private:
    std::atomic<bool> m_stopping{false}; // read by fault delivery and the simulation's watcher
    const std::unique_ptr<BoundedHttpServer> m_http;
    FaultTable m_faults;
    RequestLog m_requests;
    const DownloadsPage m_downloads;
    const FaultDelivery m_delivery;
    Routes m_routes;                             // complete before m_router is made
    std::unique_ptr<SimulationApi> m_simulation; // with Simulation::On only
    std::unique_ptr<Router> m_router;
    std::thread m_thread;
    int m_port = -1;
};

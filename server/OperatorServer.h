// The HTTP side of quillon-server: the operator endpoints the till calls, the /sim/ API that tests
// and the /app page use, the request log and the armed faults. The books answer; this class
// routes, records and delivers the answer (or, under a fault, delays, withholds, cuts or replaces
// it).
//
// Threads: Start() runs the accept loop on a thread of its own; each connection is served on a
// thread of an elastic pool, so a delayed or hung answer holds only its own connection's thread.
// Ignores SIGPIPE for the whole process: a till that hangs up mid-answer must not end the server.
#pragma once

#include "server/AppPage.h"
#include "server/Books.h"
#include "server/DownloadsPage.h"
#include "server/FaultTable.h"
#include "server/RequestLog.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <optional>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>

namespace httplib {
struct Request;
struct Response;
} // namespace httplib

class OperatorServer {
public:
    // Receives one line per answered request (no newline). Called from request threads.
    using LogSink = std::function<void(const std::string&)>;

    // Whether /sim/* and /app are served. They confirm any pending operation as any customer,
    // change shops, hang tills and show the request log: for tests and the demo only.
    enum class Simulation { Off, On };

    // `downloads`: the folder the site root offers for download (empty: none, the page says so).
    OperatorServer(Books& books, LogSink log, Simulation simulation, std::string downloads = "");
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
    class Http;
    // A POST handler of the simulation API, given the request body.
    using PostHandler = std::function<void(const httplib::Request&, const std::string&, httplib::Response&)>;

    void AddRoutes();
    void AddOperatorEndpoint(const std::string& path,
                             std::function<std::string(const httplib::Request&)> answer);
    void AddSimulation();
    void AddDownloads();
    void AddPost(const std::string& path, PostHandler handler);
    void Deliver(const httplib::Request& req, httplib::Response& res, std::string body);
    void WriteLog(const httplib::Request& req, const httplib::Response& res);

    Books& m_books;
    LogSink m_log;
    const Simulation m_simulation;
    const DownloadsPage m_downloads;
    RequestLog m_requests;
    FaultTable m_faults;
    TillActivity m_tills;
    std::map<std::string, PostHandler> m_posts; // filled before Start(), read-only after
    std::unique_ptr<Http> m_http;
    std::thread m_thread;
    std::atomic<bool> m_stopping{false};
    std::mutex m_blackholeLock; // guards the two below
    std::optional<std::chrono::steady_clock::time_point> m_blackholeUntil;
    std::thread m_blackholeWatcher;
    int m_port = -1;
};

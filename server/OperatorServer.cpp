#include "server/OperatorServer.h"

#include "server/AppPage.h"
#include "server/BoundedHttpServer.h"
#include "server/ConnectionSocket.h"
#include "server/ElasticThreadPool.h"
#include "server/Numbers.h"
#include "server/Record.h"
#include "server/RequestTarget.h"

#include <httplib.h>

#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <ctime>
#include <fstream>
#include <memory>

namespace {

constexpr const char* kRecordType = "text/plain; charset=utf-8";
constexpr const char* kUnknownPath = "없는 주소입니다";

// Each open connection holds a pool thread; the connections past the cap take one only for the
// moment their refusal takes.
constexpr std::size_t kMaxThreads = BoundedHttpServer::kMaxConnections + 64;
constexpr std::size_t kKeptThreads = 8;
constexpr auto kIdleThreadExit = std::chrono::seconds(10);

std::string HostOf(const httplib::Request& req) {
    std::string host = req.get_header_value("Host");
    if (!host.empty())
        return host;
    // HTTP/1.0 without Host: the address the connection reached.
    if (req.local_addr.find(':') != std::string::npos)
        return "[" + req.local_addr + "]:" + std::to_string(req.local_port);
    return req.local_addr + ":" + std::to_string(req.local_port);
}

bool IsSimulation(const std::string& path) {
    return path.rfind("/sim/", 0) == 0 || path == "/app" || path == "/favicon.ico";
}

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

std::string Timestamp() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm local{};
    localtime_r(&seconds, &local);
    char text[32];
    std::strftime(text, sizeof text, "%H:%M:%S", &local);
    char withMs[40];
    std::snprintf(withMs, sizeof withMs, "%s.%03d", text, static_cast<int>(ms));
    return withMs;
}

// The books' clock (operations' opening times), for the till activity on the /app page.
std::int64_t UnixMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

} // namespace

class OperatorServer::Http : public BoundedHttpServer {};

OperatorServer::OperatorServer(Books& books, LogSink log, Simulation simulation, std::string downloads)
    : m_books(books), m_log(std::move(log)), m_simulation(simulation), m_downloads(std::move(downloads)),
      m_http(std::make_unique<Http>()) {
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
    AddRoutes();
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
    // No request thread is left to start the watcher now.
    if (m_blackholeWatcher.joinable())
        m_blackholeWatcher.join();
}

void OperatorServer::WriteLog(const httplib::Request& req, const httplib::Response& res) {
    if (!m_log)
        return;
    const std::size_t bytes = res.body.empty() ? res.content_length_ : res.body.size();
    m_log(Timestamp() + " " + req.remote_addr + " " + req.method + " " + RequestTarget::MaskPasswords(req.target) + " " +
          std::to_string(res.status) + " " + std::to_string(bytes));
}

void OperatorServer::AddRoutes() {
    m_http->set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
        // Only the simulation serves the log; without it nothing is kept. Never a password.
        if (m_simulation == Simulation::On && !IsSimulation(req.path))
            m_requests.Add(RequestTarget::MaskPasswords(req.target));
        // A POST that announces no body ("curl -X POST URL") has none. httplib would read one up
        // to the end of the connection, that is until its read time-out, so such a request is
        // answered here, before the body is read.
        if (req.method == "POST" && !req.has_header("Content-Length") &&
            !req.has_header("Transfer-Encoding")) {
            const auto post = m_posts.find(req.path);
            if (post != m_posts.end()) {
                post->second(req, std::string(), res);
            } else {
                res.status = 404;
                res.set_content(Record::Refused(kUnknownPath), kRecordType);
            }
            return httplib::Server::HandlerResponse::Handled;
        }
        return httplib::Server::HandlerResponse::Unhandled;
    });
    // Errors the HTTP layer answers by itself (a target over 8 KB, a broken request line) carry
    // no body; they get a refusal record like every other refusal. Answers that already have a
    // body, those of a status fault included, keep it, and so does a body fault's empty page.
    const httplib::Server::HandlerWithResponse fillEmptyError =
        [this](const httplib::Request& req, httplib::Response& res) -> httplib::Server::HandlerResponse {
        const auto fault = m_faults.Find(req.path);
        if (!res.body.empty() || res.content_length_ > 0 || (fault && fault->mode == Fault::Mode::Body))
            return httplib::Server::HandlerResponse::Unhandled;
        res.set_content(
            Record::Refused("요청을 처리할 수 없습니다 (HTTP " + std::to_string(res.status) + ")"),
            kRecordType);
        return httplib::Server::HandlerResponse::Handled;
    };
    m_http->set_error_handler(fillEmptyError);
    m_http->set_logger(
        [this](const httplib::Request& req, const httplib::Response& res) { WriteLog(req, res); });
    m_http->set_exception_handler([](const httplib::Request&, httplib::Response& res, std::exception_ptr ep) {
        std::string why = "unknown";
        try {
            std::rethrow_exception(ep);
        } catch (const std::exception& e) {
            why = e.what();
        } catch (...) {
        }
        res.status = 500;
        res.set_content(Record::Refused("server error: " + why), kRecordType);
    });

    // A forward proxy for any host, onto this server: what a shop's proxy does for a till whose
    // system setting names one. A request in absolute form ("GET http://host:port/path") is
    // answered as if it had come straight here with that Host, so a host that only the proxy
    // can resolve works through it, and the request log shows what came by the proxy.
    m_http->Get(R"(http://([^/?]+)(.*))", [this](const httplib::Request& req, httplib::Response& res) {
        // The route matched the decoded path; the parts are taken from the target as it came.
        const auto split = RequestTarget::SplitAbsolute(req.target);
        // A proxy for https tunnels (CONNECT); this one carries plain http only.
        const bool tls = m_http->ServesTls();
        if (!split || tls) {
            res.status = 400;
            res.set_content(
                Record::Refused(tls ? "proxy: plain http only" : "proxy: not a target in absolute form"),
                kRecordType);
            return;
        }
        httplib::Client self("127.0.0.1", m_port);
        auto answer = self.Get(split->path.c_str(), {{"Host", split->host}, {"Connection", "close"}});
        if (!answer) {
            res.status = 502;
            res.set_content(Record::Refused("proxy: no answer"), kRecordType);
            return;
        }
        res.status = answer->status;
        res.set_content(answer->body, answer->get_header_value("Content-Type"));
    });

    auto query = [](const httplib::Request& req) { return QueryString::FromTarget(req.target); };
    AddOperatorEndpoint("/android/poslogin.php", [this, query](const httplib::Request& req) {
        return m_books.Login(query(req), HostOf(req));
    });
    AddOperatorEndpoint("/android/pcposmilege.php",
                        [this, query](const httplib::Request& req) { return m_books.Operation(query(req)); });
    AddOperatorEndpoint("/android/pcposgetmilegeret.php",
                        [this, query](const httplib::Request& req) {
                            const QueryString q = query(req);
                            std::string reply = m_books.GetResult(q);
                            // Only a till the books know is followed: an unknown device id is
                            // the one refusal a get-result gets.
                            if (m_simulation == Simulation::On && reply.rfind("1", 0) == 0)
                                m_tills.Polled(q.Get("deviceid"), UnixMs());
                            return reply;
                        });
    AddOperatorEndpoint("/android/deleteposdata.php", [this, query](const httplib::Request& req) {
        return m_books.DeleteData(query(req));
    });
    AddOperatorEndpoint("/sms_client_v10/pctelmilege.php", [this, query](const httplib::Request& req) {
        return m_books.TextMessage(query(req));
    });
    AddOperatorEndpoint("/android/processcancel.php", [this, query](const httplib::Request& req) {
        return m_books.CancelNotice(query(req));
    });

    AddDownloads();
    if (m_simulation == Simulation::On)
        AddSimulation();

    const auto unknown = [](const httplib::Request&, httplib::Response& res) {
        res.status = 404;
        res.set_content(Record::Refused(kUnknownPath), kRecordType);
    };
    m_http->Get(".*", unknown);
    m_http->Post(".*", unknown);
}

void OperatorServer::AddOperatorEndpoint(const std::string& path,
                                         std::function<std::string(const httplib::Request&)> answer) {
    std::string pattern;
    for (char c : path) {
        if (c == '.')
            pattern += '\\';
        pattern += c;
    }
    m_http->Get(pattern,
                [this, answer = std::move(answer)](const httplib::Request& req, httplib::Response& res) {
                    Deliver(req, res, answer(req));
                });
}

void OperatorServer::AddPost(const std::string& path, PostHandler handler) {
    m_http->Post(path, [handler](const httplib::Request& req, httplib::Response& res) {
        handler(req, req.body, res);
    });
    m_posts.emplace(path, std::move(handler));
}

void OperatorServer::AddDownloads() {
    m_http->Get("/", [this](const httplib::Request&, httplib::Response& res) {
        res.set_content(DownloadsPage::Render(m_downloads.Packages()), "text/html; charset=utf-8");
    });
    m_http->Get(std::string(DownloadsPage::kFilesPath) + "([^/]+)",
                [this](const httplib::Request& req, httplib::Response& res) {
        const std::string name = req.matches[1];
        const auto path = m_downloads.PathOf(name);
        auto file = path ? std::make_shared<std::ifstream>(*path, std::ios::binary) : nullptr;
        if (!file || !*file) {
            res.status = 404;
            res.set_content(Record::Refused(kUnknownPath), kRecordType);
            return;
        }
        file->seekg(0, std::ios::end);
        const auto size = static_cast<std::size_t>(file->tellg());
        file->seekg(0);
        res.set_header("Content-Disposition", "attachment; filename=\"" + name + "\"");
        // Streamed from the file in pieces: a package is megabytes, and many shops may fetch it.
        res.set_content_provider(size, name.ends_with(".msi") ? "application/x-msi" : "application/zip",
                                 [file](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                                     char buffer[64 * 1024];
                                     file->seekg(static_cast<std::streamoff>(offset));
                                     file->read(buffer, static_cast<std::streamsize>(std::min(length, sizeof buffer)));
                                     const auto got = file->gcount();
                                     return got > 0 && sink.write(buffer, static_cast<std::size_t>(got));
                                 });
    });
}

void OperatorServer::AddSimulation() {
    AddPost("/sim/confirm", [this](const httplib::Request& req, const std::string& body,
                                   httplib::Response& res) {
        const QueryString query = QueryString::FromTarget(req.target);
        // The /app page posts its form: the customer arrives in the body, with '+' for a space.
        const QueryString form = QueryString::Parse(body, true);
        std::string customer = query.Get("customer");
        if (customer.empty())
            customer = form.Get("customer");
        const std::string answer = m_books.Confirm(query.Get("deviceid"), customer);
        if (query.Has("from")) {
            const std::string notice = answer.rfind("1", 0) == 0 ? "확인했습니다: " + query.Get("deviceid")
                                                                 : answer.substr(answer.find("</>") + 3);
            res.set_redirect("/app?notice=" + AppPage::EncodeQueryValue(notice), 303);
            return;
        }
        res.set_content(answer, kRecordType);
    });
    m_http->Get("/app", [this](const httplib::Request& req, httplib::Response& res) {
        const std::string notice = QueryString::FromTarget(req.target).Get("notice");
        res.set_content(AppPage::Render(m_books.Pending(), m_books.Customers(), notice, m_tills, UnixMs()),
                        "text/html; charset=utf-8");
    });
    m_http->Get("/sim/requests", [this](const httplib::Request&, httplib::Response& res) {
        res.set_content(m_requests.Text(), kRecordType);
    });
    // The request log's clock, for a client that times something against the log's lines.
    m_http->Get("/sim/clock", [this](const httplib::Request&, httplib::Response& res) {
        res.set_content(Record::Accepted().Add(m_requests.Now()).Text(), kRecordType);
    });
    m_http->Get("/sim/sms", [this](const httplib::Request&, httplib::Response& res) {
        res.set_content(m_books.Outbox(), kRecordType);
    });
    AddPost("/sim/reset", [this](const httplib::Request&, const std::string&, httplib::Response& res) {
        m_requests.Clear();
        m_books.ClearOutbox();
        m_faults.Clear();
        res.set_content("1", kRecordType);
    });
    AddPost("/sim/shop", [this](const httplib::Request& req, const std::string&, httplib::Response& res) {
        res.set_content(m_books.SetShop(QueryString::FromTarget(req.target)), kRecordType);
    });
    AddPost("/sim/fault",
            [this](const httplib::Request& req, const std::string& body, httplib::Response& res) {
                res.set_content(m_faults.Arm(QueryString::FromTarget(req.target), body), kRecordType);
            });
    // The port accepts nothing for `ms` milliseconds (at most a minute), then again as before.
    AddPost("/sim/blackhole", [this](const httplib::Request& req, const std::string&, httplib::Response& res) {
        const auto ms = Numbers::ParseInteger(QueryString::FromTarget(req.target).Get("ms"), 1, 60'000);
        if (!ms) {
            res.set_content(Record::Refused("blackhole needs ms=1..60000"), kRecordType);
            return;
        }
        if (!m_http->DropConnects(true)) {
            res.set_content(Record::Refused("the socket takes no filter"), kRecordType);
            return;
        }
        // Lifted by the watcher, which Stop() joins; this connection exists and is not dropped.
        std::lock_guard<std::mutex> hold(m_blackholeLock);
        m_blackholeUntil = std::chrono::steady_clock::now() + std::chrono::milliseconds(*ms);
        if (!m_blackholeWatcher.joinable()) {
            m_blackholeWatcher = std::thread([this] {
                while (!m_stopping) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(20));
                    std::lock_guard<std::mutex> check(m_blackholeLock);
                    if (m_blackholeUntil && std::chrono::steady_clock::now() >= *m_blackholeUntil) {
                        m_http->DropConnects(false);
                        m_blackholeUntil.reset();
                    }
                }
            });
        }
        res.set_content(Record::Accepted().Text(), kRecordType);
    });
    m_http->Get("/sim/echo", [](const httplib::Request& req, httplib::Response& res) {
        Record record = Record::Accepted();
        const QueryString query = QueryString::FromTarget(req.target);
        for (const auto& [key, value] : query.Items())
            record.Add(key + "=" + value);
        res.set_content(record.Text(), kRecordType);
    });
}

void OperatorServer::Deliver(const httplib::Request& req, httplib::Response& res, std::string body) {
    const auto fault = m_faults.Find(req.path);
    if (!fault) {
        res.set_content(body, kRecordType);
        return;
    }
    // The books have already answered: a fault changes only what reaches the till.
    using Wait = ConnectionSocket::WaitResult;
    switch (fault->mode) {
    case Fault::Mode::Delay: {
        const auto socket = ConnectionSocket::Serving();
        if (socket.Wait(std::chrono::milliseconds(fault->ms), m_stopping) != Wait::Elapsed)
            socket.Cut();
        res.set_content(body, kRecordType);
        return;
    }
    case Fault::Mode::Hang: {
        const auto socket = ConnectionSocket::Serving();
        socket.Wait(std::chrono::milliseconds(-1), m_stopping);
        // Cut before returning, so that what httplib then writes reaches nobody.
        socket.Cut();
        res.set_content(body, kRecordType);
        return;
    }
    case Fault::Mode::Refuse: {
        // A server that went down while the request was on its way: the connection ends without
        // a byte of an answer, the way a crashed or restarting server's socket does.
        ConnectionSocket::Serving().Cut();
        res.set_content(body, kRecordType);
        return;
    }
    case Fault::Mode::Reset: {
        const auto socket = ConnectionSocket::Serving();
        const auto after = static_cast<std::size_t>(fault->after);
        auto shared = std::make_shared<std::string>(std::move(body));
        res.set_content_provider(
            shared->size(), kRecordType,
            [shared, after, socket](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                if (offset < after) {
                    sink.write(shared->data() + offset, std::min(after, shared->size()) - offset);
                }
                socket.Cut();
                return false;
            });
        return;
    }
    case Fault::Mode::Slow: {
        const auto socket = ConnectionSocket::Serving();
        socket.NoDelay();
        const auto chunk = static_cast<std::size_t>(fault->chunk);
        const auto pause = std::chrono::milliseconds(fault->ms);
        auto shared = std::make_shared<std::string>(std::move(body));
        res.set_content_provider(shared->size(), kRecordType,
                                 [this, shared, chunk, pause, socket](std::size_t offset, std::size_t length,
                                                                      httplib::DataSink& sink) {
                                     const std::size_t piece = std::min(chunk, length);
                                     if (!sink.write(shared->data() + offset, piece))
                                         return false;
                                     if (offset + piece < shared->size() &&
                                         socket.Wait(pause, m_stopping) != Wait::Elapsed) {
                                         socket.Cut();
                                         return false;
                                     }
                                     return true;
                                 });
        return;
    }
    case Fault::Mode::Trickle: {
        // The whole answer, status line and headers included, a few bytes at a time: what a
        // half-dead proxy does. Written past httplib, which then writes to a cut connection.
        const auto socket = ConnectionSocket::Serving();
        socket.NoDelay();
        const std::string answer = "HTTP/1.1 200 OK\r\nContent-Type: " + std::string(kRecordType) +
                                   "\r\nContent-Length: " + std::to_string(body.size()) +
                                   "\r\nConnection: close\r\n\r\n" + body;
        const auto chunk = static_cast<std::size_t>(fault->chunk);
        for (std::size_t offset = 0; offset < answer.size(); offset += chunk) {
            if (!socket.Send(answer.data() + offset, std::min(chunk, answer.size() - offset)))
                break;
            if (offset + chunk < answer.size() &&
                socket.Wait(std::chrono::milliseconds(fault->ms), m_stopping) != Wait::Elapsed)
                break;
        }
        socket.Cut();
        res.set_content(body, kRecordType);
        return;
    }
    case Fault::Mode::Body:
        res.status = fault->status;
        res.set_content(fault->body, "text/plain");
        return;
    case Fault::Mode::Status:
        res.status = fault->status;
        res.set_content(body, kRecordType);
        return;
    }
}

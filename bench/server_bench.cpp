// Load benchmark of quillon-server: many tills, each waiting for its customer the way the
// completion poller does: a get-result request on a new connection every 300 ms. Prints the
// request rate and the latency of a poll (connect to last byte). Not a test: it asserts nothing.
//
//   quillon-server-bench [--tills 200] [--interval-ms 300] [--seconds 30] [--port P]
//                        [--tricklers N] [--made-up-polls M] [--flood N] [--db FILE] [--writes N]
//
// Under abuse: --tricklers keeps N connections open that send their request head a byte a second
// (and connect again whenever the server cuts one) while the tills poll; --made-up-polls first
// sends M get-results with made-up device ids over kept-alive connections and prints the
// server's memory before and after (in-process only: the figure is this process's); --flood holds
// N trickling connections from 127.0.0.2 alone (a slowloris from one address, connecting again at
// once whenever the server refuses or cuts one) while the tills poll from 127.0.0.3, and prints
// how many of their polls were served.
//
// What the books' durability costs: --writes first sends N operations in a row from one till, each
// a committed write (a give, then its confirmation), and prints how many a second; with --db FILE
// the in-process server keeps its books in FILE (made anew), on the disk, where each commit waits
// for the disk.
//
// Without --port it runs its own server in-process on a free loopback port (request log lines
// off); with --port it loads a quillon-server that is already running on 127.0.0.1:P.
#include "server/Books.h"
#include "server/BoundedHttpServer.h"
#include "server/OperatorServer.h"

#include <httplib.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
    int tills = 200;
    int intervalMs = 300;
    int seconds = 30;
    int port = 0; // 0: an in-process server
    int tricklers = 0;
    int madeUpPolls = 0;
    int flood = 0;
    int writes = 0;
    std::string db = ":memory:";
};

// Resident and peak memory of this process in KB, from the kernel's own accounting.
std::pair<long, long> ResidentKb() {
    std::FILE* status = std::fopen("/proc/self/status", "r");
    long rss = -1, peak = -1;
    if (!status)
        return {rss, peak};
    char line[256];
    while (std::fgets(line, sizeof line, status)) {
        std::sscanf(line, "VmRSS: %ld", &rss);
        std::sscanf(line, "VmHWM: %ld", &peak);
    }
    std::fclose(status);
    return {rss, peak};
}

// Get-results for device ids nobody was given, as fast as two kept-alive clients go. Returns
// the ones that were not refused as unknown.
long SendMadeUpPolls(int port, int count) {
    std::atomic<long> unexpected{0};
    std::vector<std::thread> senders;
    for (int s = 0; s < 2; ++s) {
        senders.emplace_back([&, s] {
            httplib::Client client("127.0.0.1", port);
            client.set_keep_alive(true);
            for (int i = s; i < count; i += 2) {
                const auto answer =
                    client.Get("/android/pcposgetmilegeret.php?deviceid=made-up-" + std::to_string(i));
                if (!answer || answer->body.rfind("0</>", 0) != 0)
                    ++unexpected;
            }
        });
    }
    for (auto& t : senders)
        t.join();
    return unexpected.load();
}

// Makes `fd`'s connections come from 127.0.0.`from` (every 127.x address is this host's).
void BindTo(int fd, unsigned char from) {
    sockaddr_in source{};
    source.sin_family = AF_INET;
    source.sin_addr.s_addr = htonl(INADDR_LOOPBACK - 1 + from);
    bind(fd, reinterpret_cast<sockaddr*>(&source), sizeof source);
}

// Connections that send a request head a byte a second, on one thread. Each one the server
// cuts is counted and connected again, so that `count` stay open.
class Tricklers {
public:
    // From 127.0.0.`from`.
    Tricklers(int port, int count, unsigned char from)
        : m_port(port), m_from(from), m_fds(static_cast<std::size_t>(count), -1) {
        m_thread = std::thread([this] { Run(); });
    }
    ~Tricklers() {
        m_stop = true;
        m_thread.join();
        for (int fd : m_fds)
            if (fd >= 0)
                close(fd);
    }
    long Cut() const { return m_cut.load(); }

private:
    int Connect() const {
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        BindTo(fd, m_from);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(static_cast<uint16_t>(m_port));
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr); // completes in the background
        return fd;
    }
    void Run() {
        const std::string head = "GET /android/pcposgetmilegeret.php?deviceid=x HTTP/1.1\r\nX-Slow: ";
        std::vector<std::size_t> sent(m_fds.size(), 0);
        while (!m_stop) {
            for (std::size_t i = 0; i < m_fds.size() && !m_stop; ++i) {
                char byte;
                // The server never answers a head that does not end: any byte is a refusal.
                if (m_fds[i] >= 0 && recv(m_fds[i], &byte, 1, MSG_DONTWAIT) >= 0) {
                    close(m_fds[i]); // the server cut or refused it
                    m_fds[i] = -1;
                    ++m_cut;
                }
                if (m_fds[i] < 0) {
                    m_fds[i] = Connect();
                    sent[i] = 0;
                }
                const char next = sent[i] < head.size() ? head[sent[i]] : 'a';
                if (send(m_fds[i], &next, 1, MSG_NOSIGNAL | MSG_DONTWAIT) == 1)
                    ++sent[i];
                // Spread over a second, so that some byte arrives all the time.
                std::this_thread::sleep_for(std::chrono::microseconds(1'000'000 / m_fds.size()));
            }
        }
    }

    const int m_port;
    const unsigned char m_from;
    std::vector<int> m_fds;
    std::atomic<bool> m_stop{false};
    std::atomic<long> m_cut{0};
    std::thread m_thread;
};

// One GET on a new connection, read to the end. The body, or "" on any failure.
std::string Fetch(int port, const std::string& target, unsigned char from,
                  const std::string& method = "GET") {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return {};
    struct Closer {
        int fd;
        ~Closer() { close(fd); }
    } closer{fd};
    if (from != 1)
        BindTo(fd, from);
    timeval timeout{10, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
        return {};
    const std::string request = method + " " + target +
                                " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
                                "\r\nConnection: close\r\n\r\n";
    if (send(fd, request.data(), request.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(request.size()))
        return {};
    std::string reply;
    char buffer[4096];
    for (;;) {
        const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n < 0)
            return {};
        if (n == 0)
            break;
        reply.append(buffer, static_cast<std::size_t>(n));
    }
    const auto body = reply.find("\r\n\r\n");
    return body == std::string::npos ? std::string() : reply.substr(body + 4);
}

bool ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string flag = argv[i];
        if (i + 1 >= argc)
            return false;
        if (flag == "--db") {
            options.db = argv[++i];
            continue;
        }
        const int value = std::atoi(argv[++i]);
        if (value < 0)
            return false;
        if (flag == "--tills") {
            options.tills = value;
        } else if (flag == "--interval-ms") {
            options.intervalMs = value;
        } else if (flag == "--seconds") {
            options.seconds = value;
        } else if (flag == "--port") {
            options.port = value;
        } else if (flag == "--tricklers") {
            options.tricklers = value;
        } else if (flag == "--made-up-polls") {
            options.madeUpPolls = value;
        } else if (flag == "--flood") {
            options.flood = value;
        } else if (flag == "--writes") {
            options.writes = value;
        } else {
            return false;
        }
    }
    return options.tills > 0 && options.seconds > 0;
}

double Percentile(const std::vector<double>& sorted, double p) {
    if (sorted.empty())
        return 0;
    const auto index = static_cast<std::size_t>(p / 100.0 * static_cast<double>(sorted.size() - 1) + 0.5);
    return sorted[std::min(index, sorted.size() - 1)];
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::fprintf(
            stderr,
            "usage: quillon-server-bench [--tills N] [--interval-ms MS] [--seconds S] [--port P]\n"
            "                            [--tricklers N] [--made-up-polls M] [--flood N] [--db FILE]\n"
            "                            [--writes N]\n");
        return 2;
    }

    std::unique_ptr<Books> books;
    std::unique_ptr<OperatorServer> server;
    int port = options.port;
    if (port == 0) {
        // The tills log in before the measurement; their hashes are not what it measures.
        if (options.db != ":memory:")
            for (const char* suffix : {"", "-wal", "-shm"})
                std::remove((options.db + suffix).c_str());
        books = std::make_unique<Books>(options.db, Books::Seed::Demo, 1000);
        server = std::make_unique<OperatorServer>(*books, nullptr, OperatorServer::Simulation::On);
        std::string error;
        if (!server->Bind("127.0.0.1", 0, error)) {
            std::fprintf(stderr, "quillon-server-bench: %s\n", error.c_str());
            return 1;
        }
        server->Start();
        port = server->Port();
    }

    // The flooder's connections are its own descriptors, thousands of them.
    BoundedHttpServer::RaiseDescriptorLimit();
    const unsigned char tillsFrom = options.flood > 0 ? 3 : 1;
    // Every till logs in and opens a give, so its polls ask about a pending operation.
    std::vector<std::string> polls;
    for (int i = 0; i < options.tills; ++i) {
        const std::string login = Fetch(port, "/android/poslogin.php?id=demo&password=demo", tillsFrom);
        const auto start = login.find("</>");
        const auto end = login.find("</>", start + 3);
        if (login.rfind("1</>", 0) != 0 || end == std::string::npos) {
            std::fprintf(stderr, "quillon-server-bench: login failed on port %d: \"%s\"\n", port,
                         login.c_str());
            return 1;
        }
        const std::string device = login.substr(start + 3, end - start - 3);
        Fetch(port, "/android/pcposmilege.php?deviceid=" + device + "&process=1&price=15000&milege=5",
              tillsFrom);
        polls.push_back("/android/pcposgetmilegeret.php?deviceid=" + device);
    }

    if (options.writes > 0) {
        // Each operation is two commits: the give opens the till's operation, the confirmation
        // books it. The till's next give replaces the finished one.
        const std::string device = polls.front().substr(polls.front().find('=') + 1);
        const auto start = Clock::now();
        long refused = 0;
        for (int i = 0; i < options.writes; ++i) {
            refused +=
                Fetch(port, "/android/pcposmilege.php?deviceid=" + device + "&process=1&price=1000&milege=5",
                      tillsFrom)
                    .rfind("1</>", 0) != 0;
            refused += Fetch(port, "/sim/confirm?deviceid=" + device, tillsFrom, "POST") != "1";
        }
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        std::printf(
            "writes        %d operations (%d commits) in %.2f s on %s: %.1f operations/s (%ld refused)\n",
            options.writes, 2 * options.writes, seconds, options.db.c_str(), options.writes / seconds,
            refused);
    }
    if (options.madeUpPolls > 0) {
        const auto before = ResidentKb();
        const auto start = Clock::now();
        const long unexpected = SendMadeUpPolls(port, options.madeUpPolls);
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        const auto after = ResidentKb();
        std::printf("made-up polls %d in %.1f s (%ld not refused as unknown)\n", options.madeUpPolls, seconds,
                    unexpected);
        if (!options.port)
            std::printf("memory KB     before %ld   after %ld   peak %ld\n", before.first, after.first,
                        after.second);
    }
    std::unique_ptr<Tricklers> tricklers;
    if (options.tricklers > 0 || options.flood > 0) {
        tricklers = options.flood > 0 ? std::make_unique<Tricklers>(port, options.flood, 2)
                                      : std::make_unique<Tricklers>(port, options.tricklers, 1);
        std::this_thread::sleep_for(std::chrono::seconds(2)); // all of them connected and trickling
    }

    std::mutex lock;
    std::vector<double> latenciesMs;
    std::atomic<long> errors{0};
    const auto begin = Clock::now();
    const auto end = begin + std::chrono::seconds(options.seconds);
    std::vector<std::thread> tills;
    for (int i = 0; i < options.tills; ++i) {
        tills.emplace_back([&, i] {
            std::vector<double> mine;
            // Spread the tills' first polls over one interval, as real tills would be.
            auto next = begin + std::chrono::milliseconds(options.intervalMs * i / options.tills);
            while (next < end) {
                std::this_thread::sleep_until(next);
                const auto sent = Clock::now();
                const std::string body = Fetch(port, polls[static_cast<std::size_t>(i)], tillsFrom);
                const auto received = Clock::now();
                if (body != "1</>0")
                    ++errors;
                mine.push_back(std::chrono::duration<double, std::milli>(received - sent).count());
                // The poller pauses after each answer; a late answer does not bunch the next polls.
                next = std::max(next + std::chrono::milliseconds(options.intervalMs), received);
            }
            std::lock_guard guard(lock);
            latenciesMs.insert(latenciesMs.end(), mine.begin(), mine.end());
        });
    }
    for (auto& t : tills)
        t.join();
    const double elapsed = std::chrono::duration<double>(Clock::now() - begin).count();
    const long cut = tricklers ? tricklers->Cut() : 0;
    tricklers.reset();
    if (server)
        server->Stop();

    std::sort(latenciesMs.begin(), latenciesMs.end());
    std::printf("quillon-server-bench: %d tills, a poll every %d ms, %d s, %s server on 127.0.0.1:%d\n",
                options.tills, options.intervalMs, options.seconds, options.port ? "external" : "in-process",
                port);
    std::printf("requests      %zu (%ld failed or unexpected)\n", latenciesMs.size(), errors.load());
    std::printf("requests/s    %.1f\n", static_cast<double>(latenciesMs.size()) / elapsed);
    std::printf("latency ms    median %.2f   p90 %.2f   p99 %.2f   max %.2f\n", Percentile(latenciesMs, 50),
                Percentile(latenciesMs, 90), Percentile(latenciesMs, 99),
                latenciesMs.empty() ? 0.0 : latenciesMs.back());
    if (options.tricklers > 0)
        std::printf("tricklers     %d held open, %ld cut by the server for being late\n", options.tricklers,
                    cut);
    if (options.flood > 0)
        std::printf(
            "flood         %d held from 127.0.0.2, %ld refused or cut; the tills' polls from 127.0.0.3: "
            "%ld of %zu served\n",
            options.flood, cut, static_cast<long>(latenciesMs.size()) - errors.load(), latenciesMs.size());
    return errors.load() == 0 ? 0 : 1;
}

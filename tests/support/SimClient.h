// The tests' one HTTP client, to quillon-server's simulation calls (/sim/*) and, for checks that
// must not go through the code under test, to any of its endpoints. Plain sockets on both
// platforms, one connection per call, the request bytes exactly as given and the reply exactly as
// it came (a cut body, nothing at all, how many reads), which a client library would smooth over.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct SimReply {
    bool connected = false;
    bool closed = false; // the server closed the connection (else the wait ran out)
    int status = 0;      // 0 when no status line came
    std::string head;    // status line and headers
    std::string body;    // every byte after the blank line
    int bodyReads = 0;   // reads that brought body bytes
    std::string Header(std::string_view name) const;
};

// Splits a reply record at "</>", or text at `separator`: the tests' one splitter (the program has its own).
std::vector<std::string> Fields(const std::string& record, std::string_view separator = "</>");
// Joins fields with the record separator.
std::string Record(const std::vector<std::string>& fields);

// The tests' one wait: asks `condition` (at least once) until it holds or `timeoutMs` has passed.
bool WaitUntil(long timeoutMs, const std::function<bool()>& condition);

// One loopback connection of the tests' own, closed on every path; for a client that paces its
// bytes or holds its connection open while others come, and under every SimClient call.
class SimConnection {
public:
    // From 127.0.0.`from`: every 127.x address is this host's, so a test plays several clients.
    explicit SimConnection(int port, unsigned char from = 1);
    ~SimConnection();
    SimConnection(const SimConnection&) = delete;
    SimConnection& operator=(const SimConnection&) = delete;

    bool Connected() const { return m_connected; }
    // Sends `bytes`, `piece` bytes at a time with `pause` between the pieces; false once a send
    // fails (the server has closed).
    bool Send(std::string_view bytes, std::size_t piece = std::string_view::npos,
              std::chrono::milliseconds pause = std::chrono::milliseconds(0)) const;
    // Reads for at most `wait`: until the body is complete by its Content-Length, or with `toClose`
    // until the server closes.
    SimReply Receive(std::chrono::milliseconds wait, bool toClose) const;

private:
    std::intptr_t m_fd; // a SOCKET on Windows
    bool m_connected = false;
};

class SimClient {
public:
    explicit SimClient(int port, unsigned char from = 1) : m_port(port), m_from(from) {}

    // The port that tools/with-server.sh passes in QUILLON_TEST_PORT; 0 when it is not set.
    static int PortFromEnvironment();
    // A loopback port the system chose and nobody listens on any more.
    static int UnusedPort();

    int Port() const { return m_port; }
    // "127.0.0.1:PORT": what the server sees in the Host header and announces at login.
    std::string HostPort() const;

    // `target` is the request target as sent: path and an already encoded query. Reads until the
    // body is complete by its Content-Length, or with `toClose` until the server closes.
    SimReply Get(std::string_view target, std::string_view extraHeaders = {},
                 std::chrono::milliseconds wait = std::chrono::seconds(30), bool toClose = false) const;
    SimReply Post(std::string_view target, std::string_view body = {}) const;
    // Sends `request` verbatim on a new connection.
    SimReply Exchange(const std::string& request, std::chrono::milliseconds wait, bool toClose = false) const;

    // The control calls, their values as they go into the query (encoded where they need it).
    // Each returns whether the server accepted it (status 200, field 0 "1").
    bool Reset() const;
    bool Confirm(std::string_view deviceId, std::string_view customer = {}) const;
    // `mode` with its own parameters, encoded: "hang", "slow&chunk=3&ms=40", ...; for mode
    // "body", `body` holds the raw bytes the endpoint answers from now on.
    bool ArmFault(std::string_view path, std::string_view mode, std::string_view body = {}) const;
    bool DisarmFault(std::string_view path) const { return ArmFault(path, "off"); }
    // `settings` is the encoded query after the shop id: "version=3", "coins=0", ...
    bool SetShop(std::string_view shopId, std::string_view settings) const;

    // The request log's targets in arrival order, without their time stamps.
    std::vector<std::string> RequestTargets() const;
    // How many of them start with `prefix`.
    int Count(std::string_view prefix) const;
    // The arrival time of the last request on the log's clock and that clock's time now (ms since
    // the server started); the last arrival is -1 when the log is empty. 0, 0 when unreadable.
    std::pair<long long, long long> LastArrivalAndNow() const;
    // Connections of this host to the server's port in a TCP state of /proc/net/tcp: "01"
    // established, "02" a SYN sent and not yet answered, "08" closed by the server, not yet by us.
    int ConnectionsInState(const char* state) const;
    // The text-message outbox, one entry per message, its tab-separated columns split.
    std::vector<std::vector<std::string>> SmsOutbox() const;

private:
    int m_port;
    unsigned char m_from; // the client's address: 127.0.0.m_from
};

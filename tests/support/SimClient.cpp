#include "tests/support/SimClient.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
using Descriptor = SOCKET;
constexpr int kSendFlags = 0;
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
using Descriptor = int;
constexpr int kSendFlags = MSG_NOSIGNAL;
#define WSAPoll poll
#define closesocket close
#endif

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <thread>

namespace {

Descriptor Fd(std::intptr_t fd) {
    return static_cast<Descriptor>(fd);
}

Descriptor NewSocket() {
#ifdef _WIN32
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    (void)started;
#endif
    return socket(AF_INET, SOCK_STREAM, 0);
}

sockaddr_in Loopback(int port) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<unsigned short>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return addr;
}

bool Accepted(const SimReply& reply) {
    return reply.status == 200 && Fields(reply.body).front() == "1";
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines = Fields(text, "\n");
    lines.pop_back(); // the server's logs end every line in '\n': nothing follows the last
    return lines;
}

} // namespace

std::vector<std::string> Fields(const std::string& record, std::string_view separator) {
    std::vector<std::string> fields;
    for (std::size_t start = 0;;) {
        const std::size_t end = record.find(separator, start);
        fields.push_back(record.substr(start, end - start));
        if (end == std::string::npos)
            return fields;
        start = end + separator.size();
    }
}

std::string Record(const std::vector<std::string>& fields) {
    std::string record;
    for (std::size_t i = 0; i < fields.size(); ++i)
        record += (i ? "</>" : "") + fields[i];
    return record;
}

bool WaitUntil(long timeoutMs, const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

std::string SimReply::Header(std::string_view name) const {
    std::smatch match;
    const std::regex line("\r\n" + std::string(name) + ":[ ]*([^\r]*)", std::regex::icase);
    return std::regex_search(head, match, line) ? match[1].str() : std::string();
}

int SimClient::PortFromEnvironment() {
    const char* value = std::getenv("QUILLON_TEST_PORT");
    return value ? std::atoi(value) : 0;
}

int SimClient::UnusedPort() {
    const Descriptor s = NewSocket();
    sockaddr_in addr = Loopback(0);
    socklen_t size = sizeof addr;
    const bool bound = bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
                       getsockname(s, reinterpret_cast<sockaddr*>(&addr), &size) == 0;
    closesocket(s);
    return bound ? ntohs(addr.sin_port) : 0;
}

std::string SimClient::HostPort() const {
    return "127.0.0.1:" + std::to_string(m_port);
}

SimReply SimClient::Get(std::string_view target, std::string_view extraHeaders,
                        std::chrono::milliseconds wait, bool toClose) const {
    std::string request = "GET " + std::string(target) + " HTTP/1.1\r\n";
    if (extraHeaders.find("Host:") == std::string_view::npos)
        request += "Host: " + HostPort() + "\r\n";
    return Exchange(request + std::string(extraHeaders) + "Connection: close\r\n\r\n", wait, toClose);
}

SimReply SimClient::Post(std::string_view target, std::string_view body) const {
    return Exchange("POST " + std::string(target) + " HTTP/1.1\r\nHost: " + HostPort() +
                        "\r\nContent-Type: application/octet-stream\r\nContent-Length: " +
                        std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + std::string(body),
                    std::chrono::seconds(30));
}

SimReply SimClient::Exchange(const std::string& request, std::chrono::milliseconds wait, bool toClose) const {
    const SimConnection connection(m_port, m_from);
    if (!connection.Connected())
        return {};
    // A server that answers or closes before the whole request is in is read all the same.
    connection.Send(request);
    return connection.Receive(wait, toClose);
}

SimConnection::SimConnection(int port, unsigned char from) : m_fd(static_cast<std::intptr_t>(NewSocket())) {
    sockaddr_in source = Loopback(0);
    source.sin_addr.s_addr = htonl(INADDR_LOOPBACK - 1 + from);
    const sockaddr_in addr = Loopback(port);
    // The system picks the source of 127.0.0.1 itself; a bound one costs an ephemeral port of its own.
    m_connected =
        (from == 1 || bind(Fd(m_fd), reinterpret_cast<const sockaddr*>(&source), sizeof source) == 0) &&
        connect(Fd(m_fd), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0;
}

SimConnection::~SimConnection() {
    closesocket(Fd(m_fd));
}

bool SimConnection::Send(std::string_view bytes, std::size_t piece, std::chrono::milliseconds pause) const {
    for (std::size_t sent = 0; sent < bytes.size();) {
        if (sent > 0 && pause.count() > 0)
            std::this_thread::sleep_for(pause);
        const auto n = send(Fd(m_fd), bytes.data() + sent, static_cast<int>(std::min(piece, bytes.size() - sent)),
                            kSendFlags);
        if (n <= 0)
            return false;
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

SimReply SimConnection::Receive(std::chrono::milliseconds wait, bool toClose) const {
    SimReply reply;
    reply.connected = m_connected;
    const auto deadline = std::chrono::steady_clock::now() + wait;
    std::string received;
    std::size_t headEnd = std::string::npos;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd p{Fd(m_fd), POLLIN, 0};
        if (left.count() <= 0 || WSAPoll(&p, 1, static_cast<int>(left.count())) <= 0)
            break;
        char buffer[65536];
        const auto n = recv(Fd(m_fd), buffer, sizeof buffer, 0);
        if (n <= 0) {
            reply.closed = true;
            break;
        }
        received.append(buffer, static_cast<std::size_t>(n));
        if (headEnd == std::string::npos)
            headEnd = received.find("\r\n\r\n");
        if (headEnd == std::string::npos)
            continue;
        reply.bodyReads += received.size() > headEnd + 4;
        reply.head = received.substr(0, headEnd);
        const std::string length = reply.Header("Content-Length");
        // After an error the HTTP layer may keep the connection open: stop at the body's end.
        if (!toClose && !length.empty() && received.size() - headEnd - 4 >= std::stoul(length))
            break;
    }
    reply.head = received.substr(0, headEnd);
    reply.body = headEnd == std::string::npos ? "" : received.substr(headEnd + 4);
    if (reply.head.rfind("HTTP/1.", 0) == 0 && reply.head.size() > 12)
        reply.status = std::atoi(reply.head.c_str() + 9);
    return reply;
}

bool SimClient::Reset() const {
    return Accepted(Post("/sim/reset"));
}

bool SimClient::Confirm(std::string_view deviceId, std::string_view customer) const {
    std::string target = "/sim/confirm?deviceid=" + std::string(deviceId);
    if (!customer.empty())
        target += "&customer=" + std::string(customer);
    return Accepted(Post(target));
}

bool SimClient::ArmFault(std::string_view path, std::string_view mode, std::string_view body) const {
    return Accepted(Post("/sim/fault?path=" + std::string(path) + "&mode=" + std::string(mode), body));
}

bool SimClient::SetShop(std::string_view shopId, std::string_view settings) const {
    return Accepted(
        Post("/sim/shop?id=" + std::string(shopId) + (settings.empty() ? "" : "&") + std::string(settings)));
}

std::vector<std::string> SimClient::RequestTargets() const {
    std::vector<std::string> targets;
    for (const std::string& line : Lines(Get("/sim/requests").body))
        targets.push_back(line.substr(line.find(' ') + 1));
    return targets;
}

int SimClient::Count(std::string_view prefix) const {
    const auto targets = RequestTargets();
    return static_cast<int>(std::count_if(targets.begin(), targets.end(),
                                          [&](const std::string& t) { return t.rfind(prefix, 0) == 0; }));
}

std::pair<long long, long long> SimClient::LastArrivalAndNow() const {
    const auto lines = Lines(Get("/sim/requests").body);
    const auto clock = Fields(Get("/sim/clock").body);
    if (clock.size() < 2 || clock[0] != "1")
        return {0, 0};
    const long long last = lines.empty() ? -1 : std::atoll(lines.back().c_str());
    return {last, std::atoll(clock[1].c_str())};
}

std::vector<std::vector<std::string>> SimClient::SmsOutbox() const {
    std::vector<std::vector<std::string>> messages;
    for (const std::string& line : Lines(Get("/sim/sms").body))
        messages.push_back(Fields(line, "\t"));
    return messages;
}

int SimClient::ConnectionsInState(const char* state) const {
    char port[8];
    std::snprintf(port, sizeof port, ":%04X", static_cast<unsigned>(m_port));
    int count = 0;
    // A line: "sl local remote state ...", with addresses as hex IP:PORT and the state in hex.
    // Wine shows the host's root as drive Z:.
#ifdef _WIN32
    const char* tables[] = {"Z:\\proc\\net\\tcp", "Z:\\proc\\net\\tcp6"};
#else
    const char* tables[] = {"/proc/net/tcp", "/proc/net/tcp6"};
#endif
    for (const char* table : tables) {
        std::ifstream in(table);
        std::string sl, local, remote, st, rest;
        std::getline(in, rest);
        while (in >> sl >> local >> remote >> st && std::getline(in, rest))
            count += st == state && remote.size() > 5 && remote.compare(remote.size() - 5, 5, port) == 0;
    }
    return count;
}

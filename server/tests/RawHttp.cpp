#include "RawHttp.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>

namespace {

// The test's own socket, closed on every path.
class Socket {
public:
    Socket() : m_fd(socket(AF_INET, SOCK_STREAM, 0)) {}
    ~Socket() {
        if (m_fd >= 0)
            close(m_fd);
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    int fd() const { return m_fd; }

private:
    int m_fd;
};

} // namespace

std::string RawReply::Header(const std::string& name) const {
    std::size_t at = head.find("\r\n");
    while (at != std::string::npos) {
        const std::size_t start = at + 2;
        const std::size_t end = head.find("\r\n", start);
        const std::string line =
            head.substr(start, end == std::string::npos ? std::string::npos : end - start);
        const std::size_t colon = line.find(':');
        if (colon == name.size()) {
            bool same = true;
            for (std::size_t i = 0; i < colon; ++i) {
                same = same && std::tolower(static_cast<unsigned char>(line[i])) ==
                                   std::tolower(static_cast<unsigned char>(name[i]));
            }
            if (same) {
                std::size_t value = colon + 1;
                while (value < line.size() && line[value] == ' ')
                    ++value;
                return line.substr(value);
            }
        }
        at = end;
    }
    return {};
}

RawReply RawHttp::Get(const std::string& target, const std::string& extraHeaders,
                      std::chrono::milliseconds wait, bool toClose) const {
    std::string request = "GET " + target + " HTTP/1.1\r\n";
    if (extraHeaders.find("Host:") == std::string::npos) {
        request += "Host: 127.0.0.1:" + std::to_string(m_port) + "\r\n";
    }
    request += extraHeaders + "Connection: close\r\n\r\n";
    return Exchange(request, wait, toClose);
}

RawReply RawHttp::Post(const std::string& target, const std::string& body,
                       std::chrono::milliseconds wait) const {
    return Exchange("POST " + target + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(m_port) +
                        "\r\nContent-Type: application/octet-stream\r\nContent-Length: " +
                        std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body,
                    wait);
}

RawReply RawHttp::Exchange(const std::string& request, std::chrono::milliseconds wait, bool toClose) const {
    RawReply reply;
    Socket s;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(m_port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(s.fd(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
        return reply;
    reply.connected = true;
    for (std::size_t sent = 0; sent < request.size();) {
        const ssize_t n = send(s.fd(), request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            return reply;
        sent += static_cast<std::size_t>(n);
    }

    const auto deadline = std::chrono::steady_clock::now() + wait;
    std::string received;
    std::size_t headEnd = std::string::npos;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        pollfd p{s.fd(), POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left.count())) <= 0)
            break;
        char buffer[65536];
        const ssize_t n = recv(s.fd(), buffer, sizeof buffer, 0);
        if (n <= 0) {
            reply.closed = true;
            break;
        }
        const bool hadHead = headEnd != std::string::npos;
        received.append(buffer, static_cast<std::size_t>(n));
        if (!hadHead)
            headEnd = received.find("\r\n\r\n");
        if (headEnd != std::string::npos && received.size() > headEnd + 4 &&
            (hadHead || received.size() - static_cast<std::size_t>(n) < headEnd + 4)) {
            ++reply.bodyReads;
        }
        if (headEnd != std::string::npos && !toClose) {
            // After an error the HTTP layer may keep the connection open: stop at the body's end.
            reply.head = received.substr(0, headEnd);
            const std::string length = reply.Header("Content-Length");
            if (!length.empty() && received.size() - headEnd - 4 >= std::stoul(length))
                break;
        }
    }
    if (headEnd == std::string::npos) {
        reply.head = received;
    } else {
        reply.head = received.substr(0, headEnd);
        reply.body = received.substr(headEnd + 4);
    }
    if (reply.head.rfind("HTTP/1.", 0) == 0 && reply.head.size() > 12)
        reply.status = std::stoi(reply.head.substr(9, 3));
    return reply;
}

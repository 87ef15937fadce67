// Redirects as the libcurl backend follows them: at most five in a row. A stand-in server on
// loopback answers /hop/N with a redirect to /hop/N-1 and /hop/0 with a page. Native only: WinInet
// follows redirects by its own rules.
#ifndef _WIN32
#include "framework/Internet.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

class Redirector {
public:
    Redirector() {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (bind(m_listener, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
            listen(m_listener, 8) == 0 &&
            getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &size) == 0)
            m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { Serve(); });
    }
    ~Redirector() {
        shutdown(m_listener, SHUT_RDWR); // ends the accept
        m_thread.join();
        close(m_listener);
    }
    std::u16string Url(int hops) const {
        const std::string url = "http://127.0.0.1:" + std::to_string(m_port) + "/hop/" + std::to_string(hops);
        return std::u16string(url.begin(), url.end());
    }

private:
    void Serve() {
        for (int connection; (connection = accept(m_listener, nullptr, nullptr)) >= 0; close(connection)) {
            char request[1024] = {};
            if (recv(connection, request, sizeof request - 1, 0) <= 0)
                continue;
            const std::string line(request);
            const int hops = std::atoi(line.c_str() + std::min(line.find("/hop/") + 5, line.size()));
            const std::string reply =
                hops > 0
                    ? "HTTP/1.1 302 Found\r\nLocation: /hop/" + std::to_string(hops - 1) +
                          "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n"
                    : std::string("HTTP/1.1 200 OK\r\nContent-Length: 7\r\nConnection: close\r\n\r\narrived");
            send(connection, reply.data(), reply.size(), MSG_NOSIGNAL);
        }
    }

    int m_listener = socket(AF_INET, SOCK_STREAM, 0);
    int m_port = 0;
    std::thread m_thread;
};

TEST(Redirects, FiveAreFollowedASixthIsNot) {
    const struct {
        int hops;
        bool arrives;
    } rows[] = {{1, true}, {5, true}, {6, false}};
    for (const auto& row : rows) {
        Redirector server;
        CInternetSession session(nullptr, 1, INTERNET_OPEN_TYPE_DIRECT);
        std::string body;
        try {
            auto file = session.OpenURL(server.Url(row.hops).c_str());
            char chunk[16] = {};
            for (UINT n; (n = file->Read(chunk, sizeof chunk)) > 0;)
                body.append(chunk, n);
        } catch (const CInternetException&) {
        }
        EXPECT_EQ(body, row.arrives ? "arrived" : "") << row.hops << " redirects";
    }
}

} // namespace
#endif

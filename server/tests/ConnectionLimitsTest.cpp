// The HTTP layer's bounds against clients that misbehave, with small limits so that each row
// takes a fraction of a second: a request that does not arrive in time loses its connection,
// one that does is answered however it was paced, and connections past the cap are refused at
// once while the ones within it go on.
#include "server/BoundedHttpServer.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <thread>

namespace {

using namespace std::chrono_literals;

constexpr ConnectionLimits kLimits{2, 300ms, 400ms};
constexpr auto kPatience = 3s; // far past every limit: a connection still open then is a fault

class Connection {
public:
    explicit Connection(int port) : m_fd(::socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(static_cast<std::uint16_t>(port));
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        m_connected = ::connect(m_fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0;
    }
    ~Connection() { ::close(m_fd); }
    bool Connected() const { return m_connected; }

    // Sends `bytes` a piece of `piece` bytes every `pause`.
    void Send(const std::string& bytes, std::size_t piece, std::chrono::milliseconds pause) const {
        for (std::size_t at = 0; at < bytes.size(); at += piece) {
            if (at > 0)
                std::this_thread::sleep_for(pause);
            if (::send(m_fd, bytes.data() + at, std::min(piece, bytes.size() - at), MSG_NOSIGNAL) <= 0)
                return;
        }
    }
    // Everything the server sends until it closes; "(still open)" appended if it has not
    // closed within kPatience.
    std::string ReadToClose() const {
        std::string got;
        const auto until = std::chrono::steady_clock::now() + kPatience;
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
            pollfd p{m_fd, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0)
                return got + "(still open)";
            char buffer[4096];
            const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
            if (n <= 0)
                return got;
            got.append(buffer, static_cast<std::size_t>(n));
        }
    }

private:
    int m_fd;
    bool m_connected = false;
};

class ConnectionLimitsTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_http.Get("/x", [](const httplib::Request&, httplib::Response& res) { res.set_content("x", "text/plain"); });
        m_port = m_http.bind_to_any_port("127.0.0.1");
        ASSERT_GT(m_port, 0);
        m_thread = std::thread([this] { m_http.listen_after_bind(); });
        while (!m_http.is_running())
            std::this_thread::sleep_for(1ms);
    }
    void TearDown() override {
        m_http.stop();
        m_thread.join();
    }

    BoundedHttpServer m_http{kLimits};
    std::thread m_thread;
    int m_port = -1;
};

int Count(const std::string& text, const std::string& what) {
    int n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

const std::string kRequest = "GET /x HTTP/1.1\r\nHost: a\r\n\r\n"; // 29 bytes

struct Pacing {
    const char* name;
    std::string bytes;
    std::size_t piece;
    std::chrono::milliseconds pause;
    int answers; // 200s before the server closes
};

} // namespace

TEST_F(ConnectionLimitsTest, ARequestThatIsLateLosesItsConnection) {
    const Pacing rows[] = {
        {"at once", kRequest, 1000, 0ms, 1},
        {"a byte every 5 ms, within the deadline", kRequest, 1, 5ms, 1},
        {"a byte every 30 ms, past the deadline", kRequest, 1, 30ms, 0},
        {"a head that never ends", "GET /x HTTP/1.1\r\nHost: a\r\n", 1000, 0ms, 0},
        {"nothing at all", "", 1, 0ms, 0},
        {"two requests in one packet", kRequest + kRequest, 1000, 0ms, 2},
        {"a second request after a pause within the idle limit", kRequest + kRequest, kRequest.size(), 200ms, 2},
        {"a body announced but never sent", "POST /x HTTP/1.1\r\nHost: a\r\nContent-Length: 5\r\n\r\n", 1000, 0ms, 0},
    };
    for (const Pacing& row : rows) {
        Connection client(m_port);
        ASSERT_TRUE(client.Connected());
        client.Send(row.bytes, row.piece, row.pause);
        const std::string got = client.ReadToClose();
        EXPECT_EQ(Count(got, "HTTP/1.1 200"), row.answers) << row.name << ": " << got;
        EXPECT_EQ(got.find("(still open)"), std::string::npos) << row.name;
    }
}

TEST_F(ConnectionLimitsTest, ConnectionsPastTheCapAreRefusedAtOnceAndTheOthersGoOn) {
    Connection first(m_port), second(m_port);
    first.Send("GET /x HTTP/1.1\r\n", 1000, 0ms); // both held open by their unfinished heads
    second.Send("GET /x HTTP/1.1\r\n", 1000, 0ms);
    std::this_thread::sleep_for(50ms); // both taken by the server before the third comes
    Connection third(m_port);
    const std::string refused = third.ReadToClose();
    EXPECT_EQ(refused.rfind("HTTP/1.1 503", 0), 0u) << refused;
    EXPECT_NE(refused.find("Connection: close"), std::string::npos) << refused;

    first.Send("Host: a\r\n\r\n", 1000, 0ms);
    EXPECT_EQ(Count(first.ReadToClose(), "HTTP/1.1 200"), 1);
    Connection fourth(m_port); // the held connections have ended: there is room again
    fourth.Send(kRequest, 1000, 0ms);
    EXPECT_EQ(Count(fourth.ReadToClose(), "HTTP/1.1 200"), 1);
}

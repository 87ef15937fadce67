// The HTTP layer's bounds against clients that misbehave, with small limits so that each row
// takes a fraction of a second: a request that does not arrive in time loses its connection,
// one that does is answered however it was paced, and connections past the server's cap or their
// address's are refused at once while the ones within them go on.
#include "TempDir.h"

#include "server/BoundedHttpServer.h"
#include "tests/support/SimClient.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

namespace {

using namespace std::chrono_literals;

constexpr std::size_t kMaxConnections = 3, kMaxPerAddress = 2;
constexpr auto kPatience = 3s; // far past every limit: a connection still open then is a fault

class ConnectionLimitsTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_http.set_read_timeout(300ms);
        m_http.set_keep_alive_timeout(1);
        m_http.Get("/x", [](const httplib::Request&, httplib::Response& res) { res.set_content("x", "text/plain"); });
        m_port = m_http.bind_to_any_port("127.0.0.1");
        ASSERT_GT(m_port, 0);
        m_thread = std::thread([this] { m_http.listen_after_bind(); });
        ASSERT_TRUE(WaitUntil(3000, [&] { return m_http.is_running(); }));
    }
    void TearDown() override {
        m_http.stop();
        m_thread.join();
    }

    BoundedHttpServer m_http{kMaxConnections, kMaxPerAddress};
    std::thread m_thread;
    int m_port = -1;
};

// The 200s the server sent before it closed the connection; -1 when it was still open after
// kPatience.
int Answers(const SimConnection& client) {
    const SimReply reply = client.Receive(kPatience, true);
    const std::string text = reply.head + reply.body;
    int n = 0;
    for (auto at = text.find("HTTP/1.1 200"); at != std::string::npos; at = text.find("HTTP/1.1 200", at + 1))
        ++n;
    return reply.closed ? n : -1;
}

const std::string kRequest = "GET /x HTTP/1.1\r\nHost: a\r\n\r\n"; // 29 bytes

} // namespace

TEST_F(ConnectionLimitsTest, ARequestThatIsLateLosesItsConnection) {
    const struct {
        const char* name;
        std::string bytes;
        std::size_t piece;
        std::chrono::milliseconds pause;
        int answers; // 200s before the server closes
    } rows[] = {
        {"at once", kRequest, 1000, 0ms, 1},
        {"a byte every 5 ms, within the deadline", kRequest, 1, 5ms, 1},
        {"a byte every 30 ms, past the deadline", kRequest, 1, 30ms, 0},
        {"a head that never ends", "GET /x HTTP/1.1\r\nHost: a\r\n", 1000, 0ms, 0},
        {"nothing at all", "", 1, 0ms, 0},
        {"two requests in one packet", kRequest + kRequest, 1000, 0ms, 2},
        {"a second request after a pause within the idle limit", kRequest + kRequest, kRequest.size(), 200ms, 2},
        {"a body announced but never sent", "POST /x HTTP/1.1\r\nHost: a\r\nContent-Length: 5\r\n\r\n", 1000, 0ms, 0},
    };
    for (const auto& row : rows) {
        const SimConnection client(m_port);
        ASSERT_TRUE(client.Connected());
        client.Send(row.bytes, row.piece, row.pause);
        EXPECT_EQ(Answers(client), row.answers) << row.name;
    }
}

// 127.0.0.2 holds its two, 127.0.0.3 the server's last; a third from 127.0.0.2 and any from
// elsewhere then are refused at once, and a held one's end makes room for its address.
TEST_F(ConnectionLimitsTest, ConnectionsPastEitherCapAreRefusedAtOnceAndTheOthersGoOn) {
    const struct {
        unsigned char from;
        int status; // 0: held open by an unfinished head
    } steps[] = {{2, 0}, {2, 0}, {2, 503}, {3, 0}, {4, 503}, {3, 503}};
    std::vector<std::unique_ptr<SimConnection>> held;
    for (const auto& step : steps) {
        auto client = std::make_unique<SimConnection>(m_port, step.from);
        client->Send("GET /x HTTP/1.1\r\n");
        if (step.status == 0) {
            held.push_back(std::move(client));
            EXPECT_TRUE(WaitUntil(3000, [&] { return m_http.OpenConnections() == held.size(); }))
                << held.size();
            continue;
        }
        const SimReply refused = client->Receive(kPatience, true);
        EXPECT_TRUE(refused.closed);
        EXPECT_EQ(refused.status, step.status) << refused.head;
        EXPECT_EQ(refused.Header("Connection"), "close") << refused.head;
    }
    held.front()->Send("Host: a\r\n\r\n");
    EXPECT_EQ(Answers(*held.front()), 1);
    const SimConnection again(m_port, 2); // the held connection has ended: its address has room again
    again.Send(kRequest);
    EXPECT_EQ(Answers(again), 1);
}

// The same caps on a TLS port, where a refusal is no 503 (plain text would be garbage to a TLS
// client): past a cap a connection closes at once without a byte, while the held ones still wait
// for their handshakes; a handshake that does not end within the deadline ends its connection
// without a byte too.
class ConnectionLimitsTlsTest : public ConnectionLimitsTest {
protected:
    void SetUp() override {
        const TempDir dir;
        const std::string pem = dir / "cert";
        ASSERT_EQ(std::system(("openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=localhost -keyout " +
                               pem + ".key -out " + pem + ".pem 2>/dev/null").c_str()), 0);
        std::string error;
        EXPECT_TRUE(m_http.UseTls(pem + ".pem", pem + ".key", error)) << error;
        ConnectionLimitsTest::SetUp();
    }
};

TEST_F(ConnectionLimitsTlsTest, PastACapOrItsDeadlineAConnectionClosesWithoutAByte) {
    std::vector<std::unique_ptr<SimConnection>> held;
    for (const unsigned char from : {2, 2, 3})
        held.push_back(std::make_unique<SimConnection>(m_port, from));
    ASSERT_TRUE(WaitUntil(3000, [&] { return m_http.OpenConnections() == held.size(); }));
    for (const unsigned char from : {2, 4}) { // past 127.0.0.2's cap, past the server's
        const SimReply refused = SimConnection(m_port, from).Receive(kPatience, true);
        EXPECT_TRUE(refused.closed && refused.head.empty() && refused.body.empty()) << int(from) << refused.head;
        EXPECT_EQ(m_http.OpenConnections(), held.size()) << "refused before the held ones' deadline";
    }
    for (const auto& client : held) { // a ClientHello that begins and never ends
        client->Send("\x16\x03\x01");
        const SimReply late = client->Receive(kPatience, true);
        EXPECT_TRUE(late.closed && late.head.empty() && late.body.empty());
    }
}

// Faults armed through /sim/fault that change how a reply travels: later, never, cut, in pieces,
// with another status. Each changes only what reaches the till, never the books, and holds nothing
// else up. (What a fault answers and how arming is refused: ExchangeTest.)
#include "ServerFixture.h"

#include <future>

namespace {

using namespace std::chrono_literals;

class FaultTest : public ServerFixture {
protected:
    void SetUp() override {
        ServerFixture::SetUp();
        device = Login();
        poll = "/android/pcposgetmilegeret.php?deviceid=" + device;
        give = "/android/pcposmilege.php?deviceid=" + device + "&process=1&price=4000&milege=5";
    }
    bool Arm(const std::string& path, const std::string& mode) const { return http().ArmFault(path, mode); }
    bool AwaitLogged(const std::string& target) const {
        return WaitUntil(5000, [&] { return Get("/sim/requests").find(target) != std::string::npos; });
    }
    std::string device, poll, give;
};

TEST_F(FaultTest, DelayAnswersLaterWhileOtherRequestsAnswerAtOnce) {
    ASSERT_TRUE(Arm("/android/pcposgetmilegeret.php", "delay&ms=1500"));
    auto delayed = std::async(std::launch::async, [&] { return http().Get(poll); });
    ASSERT_TRUE(AwaitLogged(poll));
    EXPECT_EQ(Get(give), "1</>1500");
    EXPECT_EQ(delayed.wait_for(0ms), std::future_status::timeout);
    EXPECT_EQ(delayed.get().body, "1</>0"); // answered as the books stood when it arrived
}

TEST_F(FaultTest, HangAndRefuseSendNotAByteButTheBooksStillWork) {
    ASSERT_TRUE(Arm("/android/pcposgetmilegeret.php", "hang"));
    std::vector<std::future<SimReply>> hung;
    for (int i = 0; i < 4; ++i)
        hung.push_back(std::async(std::launch::async, [&] { return http().Get(poll, "", 600ms); }));
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(Get("/sim/echo?i=1"), "1</>i=1");
    for (auto& f : hung) {
        const auto reply = f.get();
        EXPECT_TRUE(reply.connected && !reply.closed && reply.head.empty());
    }
    ASSERT_TRUE(Arm("/android/pcposmilege.php", "refuse"));
    const auto refused = http().Get(give);
    EXPECT_TRUE(refused.connected && refused.closed && refused.head.empty())
        << "closed at once, not left hanging";
    EXPECT_EQ(Post("/sim/confirm?deviceid=" + device), "1") << "the refused give was booked";
    ASSERT_TRUE(Arm("/android/pcposgetmilegeret.php", "off"));
    EXPECT_EQ(Fields(Get(poll)).at(4), "4000");
}

// A hung answer, and a request head that has not ended (read within its 4 s deadline): Stop()
// ends both long before their own limits would.
TEST_F(FaultTest, StopEndsHungConnections) {
    ASSERT_TRUE(Arm("/android/pcposgetmilegeret.php", "hang"));
    auto hung = std::async(std::launch::async, [&] { return http().Get(poll, "", 20s); });
    const SimConnection unfinished(m_server->Port());
    unfinished.Send("GET /sim/echo HTTP/1.1\r\n");
    ASSERT_TRUE(AwaitLogged(poll));
    auto cut = std::async(std::launch::async, [&] { return unfinished.Receive(2s, true); });
    StopServer(); // returns only once every request thread has ended
    for (const SimReply& reply : {hung.get(), cut.get()}) {
        EXPECT_TRUE(reply.closed);
        EXPECT_EQ(reply.head, "");
    }
}

TEST_F(FaultTest, ResetCutsTheBodyAfterNBytes) {
    const std::string login = "/android/poslogin.php?id=demo&password=demo";
    const std::size_t full = Get(login).size();
    for (std::size_t after : {std::size_t(0), std::size_t(1), std::size_t(10), full - 1, full, full + 100}) {
        SCOPED_TRACE("after=" + std::to_string(after));
        ASSERT_TRUE(Arm("/android/poslogin.php", "reset&after=" + std::to_string(after)));
        const auto reply = http().Get(login, "", 5s, true);
        EXPECT_TRUE(reply.closed);
        EXPECT_EQ(reply.status, 200);
        EXPECT_EQ(reply.Header("Content-Length"), std::to_string(full)); // announced whole, then cut
        EXPECT_EQ(reply.body.size(), std::min(after, full));
    }
}

TEST_F(FaultTest, SlowSendsTheWholeBodyInPiecesAndStatusKeepsTheBody) {
    ASSERT_EQ(Get(give), "1</>1500");
    ASSERT_EQ(Post("/sim/confirm?deviceid=" + device), "1");
    const std::string whole = Get(poll);
    ASSERT_TRUE(Arm("/android/pcposgetmilegeret.php", "slow&chunk=16&ms=40"));
    const auto slow = http().Get(poll);
    EXPECT_EQ(slow.body, whole);
    EXPECT_GE(slow.bodyReads, 2);
    for (int code : {500, 404, 503}) {
        ASSERT_TRUE(Arm("/android/pcposgetmilegeret.php", "status&code=" + std::to_string(code)));
        const auto reply = http().Get(poll);
        EXPECT_EQ(reply.status, code);
        EXPECT_EQ(reply.body, whole);
    }
    // An error page: any bytes with any status, on any endpoint.
    const std::pair<const char*, int> pages[] = {{"<html>502 Bad Gateway</html>", 502}, {"", 500}, {"<p>ok</p>", 200}};
    for (const auto& [page, code] : pages) {
        ASSERT_TRUE(http().ArmFault("/sms_client_v10/pctelmilege.php", "body&status=" + std::to_string(code), page));
        const auto reply = http().Get("/sms_client_v10/pctelmilege.php?deviceid=" + device);
        EXPECT_EQ(reply.status, code);
        EXPECT_EQ(reply.body, page);
    }
    EXPECT_FALSE(http().ArmFault("/android/deleteposdata.php", "body&status=99", "x"));
}

} // namespace

// Faults armed through /sim/fault: each mode changes only what reaches the till, only on its own
// path, until it is disarmed.
#include "ServerFixture.h"

#include <atomic>
#include <future>
#include <thread>

namespace {

using FaultTest = ServerFixture;
using namespace std::chrono_literals;

constexpr const char* kPoll = "/android/pcposgetmilegeret.php";

class FaultFixture : public FaultTest {
protected:
    void SetUp() override {
        FaultTest::SetUp();
        m_device = Login();
        m_poll = std::string(kPoll) + "?deviceid=" + m_device;
    }
    std::string Arm(const std::string& query, const std::string& body = "") {
        return http().Post("/sim/fault?" + query, body).body;
    }
    // Waits until the server has received `count` requests for the poll URL.
    void AwaitPolls(int count) {
        for (int tries = 0; tries < 500; ++tries) {
            const std::string log = Get("/sim/requests");
            int seen = 0;
            for (auto at = log.find(m_poll); at != std::string::npos; at = log.find(m_poll, at + 1))
                ++seen;
            if (seen >= count)
                return;
            std::this_thread::sleep_for(10ms);
        }
        FAIL() << "the server never received " << count << " polls";
    }
    std::string m_device;
    std::string m_poll;
};

TEST_F(FaultFixture, DelayAnswersLaterWhileOtherPathsAnswerAtOnce) {
    ASSERT_EQ(Arm("path=/android/pcposgetmilegeret.php&mode=delay&ms=1500"), "1");
    std::atomic<bool> delayedDone{false};
    auto delayed = std::async(std::launch::async, [&] {
        auto reply = http().Get(m_poll);
        delayedDone = true;
        return reply;
    });
    AwaitPolls(1);
    // A login and the simulation API are served while the poll waits.
    EXPECT_EQ(Fields(Get("/android/poslogin.php?id=demo&password=demo")).at(0), "1");
    EXPECT_EQ(Open(m_device, 1, "1000"), "1</>1500");
    EXPECT_FALSE(delayedDone.load());
    const auto reply = delayed.get();
    EXPECT_EQ(reply.status, 200);
    EXPECT_EQ(reply.body, "1</>0"); // answered as the books stood when it arrived
}

TEST_F(FaultFixture, HangNeverAnswersAndHoldsNothingElseUp) {
    ASSERT_EQ(Arm("path=/android/pcposgetmilegeret.php&mode=hang"), "1");
    // Several tills hang at once; the rest of the server does not notice.
    std::vector<std::future<RawReply>> hung;
    for (int i = 0; i < 4; ++i) {
        hung.push_back(std::async(std::launch::async, [&] { return http().Get(m_poll, "", 600ms); }));
    }
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(Get("/sim/echo?i=1"), "1</>i=1");
    EXPECT_EQ(Open(m_device, 1, "1000"), "1</>1500");
    for (auto& f : hung) {
        const auto reply = f.get();
        EXPECT_TRUE(reply.connected);
        EXPECT_FALSE(reply.closed);
        EXPECT_EQ(reply.head, ""); // not a byte
    }
    // The books still did their work for a hung request.
    ASSERT_EQ(Arm("path=/android/pcposmilege.php&mode=hang"), "1");
    const auto give = http().Get(
        "/android/pcposmilege.php?deviceid=" + m_device + "&process=1&price=4000&milege=5", "", 300ms);
    EXPECT_EQ(give.head, "");
    EXPECT_EQ(Confirm(m_device), "1");

    ASSERT_EQ(Arm("path=/android/pcposgetmilegeret.php&mode=off"), "1");
    const auto result = Fields(http().Get(m_poll, "", 2s).body);
    ASSERT_EQ(result.size(), 9u);
    EXPECT_EQ(result[1], "11");
    EXPECT_EQ(result[4], "4000");
}

TEST_F(FaultFixture, StopEndsHungConnections) {
    ASSERT_EQ(Arm("path=" + std::string(kPoll) + "&mode=hang"), "1");
    auto hung = std::async(std::launch::async, [&] { return http().Get(m_poll, "", 20s); });
    AwaitPolls(1);
    StopServer(); // returns only once every request thread has ended
    const auto reply = hung.get();
    EXPECT_TRUE(reply.closed);
    EXPECT_EQ(reply.head, "");
}

TEST_F(FaultFixture, RefuseEndsTheConnectionWithoutAByteWhileTheBooksStillAnswer) {
    ASSERT_EQ(Arm("path=/android/pcposmilege.php&mode=refuse"), "1");
    const auto give =
        http().Get("/android/pcposmilege.php?deviceid=" + m_device + "&process=1&price=4000&milege=5");
    EXPECT_TRUE(give.connected);
    EXPECT_TRUE(give.closed) << "closed at once, not left hanging";
    EXPECT_EQ(give.head, "");
    EXPECT_EQ(give.body, "");
    // Other paths answer, and the refused give was booked: it can be confirmed.
    EXPECT_EQ(Result(m_device), "1</>0");
    EXPECT_EQ(Confirm(m_device), "1");
    ASSERT_EQ(Arm("path=/android/pcposmilege.php&mode=off"), "1");
    EXPECT_EQ(Open(m_device, 1, "1000"), "1</>1500");
}

TEST_F(FaultFixture, ResetCutsTheBodyAfterNBytes) {
    const std::string login = "/android/poslogin.php?id=demo&password=demo";
    const std::size_t full = Get(login).size();
    ASSERT_GT(full, 60u);
    for (std::size_t after : {std::size_t(0), std::size_t(1), std::size_t(10), full - 1, full, full + 100}) {
        SCOPED_TRACE("after=" + std::to_string(after));
        ASSERT_EQ(Arm("path=/android/poslogin.php&mode=reset&after=" + std::to_string(after)), "1");
        const auto reply = http().Get(login, "", std::chrono::seconds(5), true);
        EXPECT_TRUE(reply.closed);
        EXPECT_EQ(reply.status, 200);
        EXPECT_EQ(reply.Header("Content-Length"), std::to_string(full)); // announced whole, then cut
        EXPECT_EQ(reply.body.size(), std::min(after, full));
        EXPECT_EQ(reply.body.substr(0, 2), std::string("1</>").substr(0, std::min<std::size_t>(after, 2)));
    }
}

TEST_F(FaultFixture, SlowSendsTheWholeBodyInPieces) {
    ASSERT_EQ(Open(m_device, 1, "12000"), "1</>1500");
    ASSERT_EQ(Confirm(m_device), "1");
    const std::string whole = Result(m_device);
    ASSERT_EQ(Arm("path=android/pcposgetmilegeret.php&mode=slow&chunk=16&ms=40"), "1"); // '/' added
    const auto reply = http().Get(m_poll);
    EXPECT_EQ(reply.status, 200);
    EXPECT_EQ(reply.body, whole);
    EXPECT_GE(reply.bodyReads, 2);
}

TEST_F(FaultFixture, BodyAnswersThePostedBytesExactly) {
    std::string forty = "1";
    for (int i = 1; i < 40; ++i)
        forty += "</>f" + std::to_string(i);
    const std::string bodies[] = {
        "1</>11</>",                    // too few fields
        forty,                          // 40 fields
        "1</>" + std::string(300, 'x'), // a field longer than the till keeps
        std::string("1</>\xff\xfe\xc3\x28 bad utf-8", 19),
        std::string("1</>\0zero", 9),
        std::string(5 * 1024, 'k'), // 5 KB
        "",                         // nothing at all
        "0</>refused</>",
    };
    for (const auto& body : bodies) {
        ASSERT_EQ(Arm("path=/android/pcposgetmilegeret.php&mode=body", body), "1");
        const auto reply = http().Get(m_poll);
        EXPECT_EQ(reply.status, 200);
        EXPECT_EQ(reply.body, body) << body.size();
    }
}

TEST_F(FaultFixture, StatusKeepsTheNormalBody) {
    for (int code : {500, 404, 503, 200}) {
        ASSERT_EQ(Arm("path=/android/pcposgetmilegeret.php&mode=status&code=" + std::to_string(code)), "1");
        const auto reply = http().Get(m_poll);
        EXPECT_EQ(reply.status, code);
        EXPECT_EQ(reply.body, "1</>0");
    }
}

TEST_F(FaultFixture, AFaultStaysOnItsOwnPath) {
    ASSERT_EQ(Arm("path=/android/poslogin.php&mode=status&code=500"), "1");
    EXPECT_EQ(http().Get(m_poll).status, 200);
    EXPECT_EQ(http().Get("/android/poslogin.php?id=demo&password=demo").status, 500);
    // A later arming replaces the earlier one on the same path.
    ASSERT_EQ(Arm("path=/android/poslogin.php&mode=body", "X"), "1");
    EXPECT_EQ(Get("/android/poslogin.php?id=demo&password=demo"), "X");
}

TEST_F(FaultFixture, OffAndResetDisarm) {
    ASSERT_EQ(Arm("path=/android/poslogin.php&mode=body", "X"), "1");
    ASSERT_EQ(Arm("path=" + std::string(kPoll) + "&mode=body", "Y"), "1");
    ASSERT_EQ(Arm("path=/android/poslogin.php&mode=off"), "1");
    EXPECT_EQ(Fields(Get("/android/poslogin.php?id=demo&password=demo")).at(0), "1");
    EXPECT_EQ(Get(m_poll), "Y");
    EXPECT_EQ(Post("/sim/reset"), "1");
    EXPECT_EQ(Get(m_poll), "1</>0");
    EXPECT_EQ(Arm("path=" + std::string(kPoll) + "&mode=off"), "1"); // disarming nothing is fine
}

TEST_F(FaultFixture, BadArmingsAreRefused) {
    const char* queries[] = {
        "mode=hang",
        "path=&mode=hang",
        "path=/sim/requests&mode=hang",
        "path=/app&mode=hang",
        "path=/android/unknown.php&mode=hang",
        "path=/android/poslogin.php",
        "path=/android/poslogin.php&mode=explode",
        "path=/android/poslogin.php&mode=delay",
        "path=/android/poslogin.php&mode=delay&ms=-1",
        "path=/android/poslogin.php&mode=delay&ms=soon",
        "path=/android/poslogin.php&mode=delay&ms=99999999999999999999",
        "path=/android/poslogin.php&mode=reset",
        "path=/android/poslogin.php&mode=reset&after=-3",
        "path=/android/poslogin.php&mode=slow&chunk=0&ms=10",
        "path=/android/poslogin.php&mode=slow&chunk=4",
        "path=/android/poslogin.php&mode=status",
        "path=/android/poslogin.php&mode=status&code=99",
        "path=/android/poslogin.php&mode=status&code=600",
    };
    for (const char* query : queries) {
        const auto fields = Fields(Arm(query));
        ASSERT_EQ(fields.size(), 2u) << query;
        EXPECT_EQ(fields[0], "0") << query;
    }
    // None of them armed anything.
    EXPECT_EQ(Fields(Get("/android/poslogin.php?id=demo&password=demo")).at(0), "1");
}

} // namespace

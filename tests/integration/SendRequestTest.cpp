// One exchange as the program makes it (SendRequest over the platform's internet part) against
// quillon-server with a fault armed: what it returns, which fields of an earlier reply it rewrites,
// how often the request reached the server, and for a stall, that its limits end it in time. The
// same rows hold for libcurl and for WinInet. The "Real" row holds the program's own 30 s (only
// where QUILLON_REAL_LIMITS is set).
#include "ServerTest.h"

#include <cstdlib>

namespace {

constexpr char kAnyDevice[] = "/android/pcposgetmilegeret.php?deviceid=x";

struct Exchange {
    const char* name;
    const char* faultPath; // nullptr: no fault
    std::string fault;
    std::string body;   // the raw body of fault "body"
    std::string target; // sent to the tests' server; "closed-port" / "no-host" for no server
    int result;
    int fieldsRewritten;   // -1: the table is left exactly as it was
    std::u16string field0; // with fieldsRewritten > 0
    int arrivals;
    InternetLimits limits = kProgramLimits;
    long long withinMs = 0; // when set, how soon the exchange ends
    bool real = false;      // the program's own limits held, not shortened ones
};

class SendRequestTest : public ServerTest, public ::testing::WithParamInterface<Exchange> {};

TEST_P(SendRequestTest, ResultFieldsAndArrivals) {
    const Exchange& c = GetParam();
    if (c.real && !std::getenv("QUILLON_REAL_LIMITS"))
        GTEST_SKIP() << "set QUILLON_REAL_LIMITS=1 to hold the 30 s limit itself";
    SetInternetLimitsForTests(c.limits);
    if (c.faultPath) {
        ASSERT_TRUE(sim.ArmFault(c.faultPath, c.fault, c.body));
    }
    std::u16string url = Url(c.target);
    if (c.target == "closed-port")
        url = U16("http://127.0.0.1:" + std::to_string(SimClient::UnusedPort())) + U16(kAnyDevice);
    else if (c.target == "no-host")
        url = U16(std::string("http://") + kAnyDevice);
    FillFields();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Send(url), c.result);
    if (c.withinMs)
        EndedWithin(start, c.withinMs, c.real, c.name);
    const auto fields = Fields();
    if (c.fieldsRewritten < 0) {
        EXPECT_EQ(fields, AllSentinel());
    } else {
        EXPECT_EQ(fields[0], c.field0);
        for (int i = 1; i < c.fieldsRewritten; ++i)
            EXPECT_NE(fields[i], kSentinel) << "field " << i;
        for (int i = std::max(c.fieldsRewritten, 1); i < kFieldCount; ++i)
            EXPECT_EQ(fields[i], kSentinel) << "field " << i;
    }
    EXPECT_EQ(static_cast<int>(sim.RequestTargets().size()), c.arrivals) << "no request is sent twice";
}

const std::string kDemo = std::string(kLoginPath) + "?id=demo&password=demo";

INSTANTIATE_TEST_SUITE_P(
    Faults, SendRequestTest,
    ::testing::Values(
        Exchange{"accepted_login", nullptr, "", "", kDemo, 1, 8, u"1", 1},
        Exchange{"empty_body_clears_field_zero", kResultPath, "body", "", kAnyDevice, 1, 0, u"", 1},
        // Only the operator's own pages answer 200: any other status is no reply, whatever its body.
        Exchange{"status_500_with_an_accepting_body", kLoginPath, "status&code=500", "", kDemo, 0, -1, u"", 1},
        Exchange{"status_201_is_not_the_operators", kResultPath, "body&status=201", "1</>11", kAnyDevice, 0, -1,
                 u"", 1},
        Exchange{"slow_pieces_read_whole", kLoginPath, "slow&chunk=3&ms=30", "", kDemo, 1, 8, u"1", 1},
        Exchange{"delay_below_the_timeout", kResultPath, "delay&ms=1500", "", kAnyDevice, 0, 2, u"0", 1},
        Exchange{"reset_before_the_body", kLoginPath, "reset&after=0", "", kDemo, 0, -1, u"", 1},
        Exchange{"reset_mid_body", kLoginPath, "reset&after=5", "", kDemo, 0, -1, u"", 1},
        Exchange{"closed_without_an_answer", kLoginPath, "refuse", "", kDemo, 0, -1, u"", 1},
        // Stalls that only the limits end; a byte every 300 ms never lets a socket time-out fire.
        Exchange{"Silent", kResultPath, "hang", "", kAnyDevice, 0, -1, u"", 1, kShort, 2500},
        Exchange{"StatusLineAndHeadersTrickled", kResultPath, "trickle&chunk=1&ms=300", "", kAnyDevice, 0, -1,
                 u"", 1, kShort, 2500},
        Exchange{"BodyTrickled", kResultPath, "slow&chunk=1&ms=300", "", kAnyDevice, 0, -1, u"", 1, kShort,
                 2500},
        // 42 bytes of refusal at a byte every 0.8 s: 34 s, yet no stall time-out.
        Exchange{"RealDeadline", kResultPath, "slow&chunk=1&ms=800", "", kAnyDevice, 0, -1, u"", 1,
                 kProgramLimits, 30000, true},
        Exchange{"closed_port", nullptr, "", "", "closed-port", 0, -1, u"", 0},
        Exchange{"no_host", nullptr, "", "", "no-host", 0, -1, u"", 0}),
    [](const auto& param) { return std::string(param.param.name); });

using ExchangeTest = ServerTest;

// The poller asks the same URL again and again: no cache may answer in the server's place.
TEST_F(ExchangeTest, RepeatedGetsOfOneUrlAllReachTheServer) {
    ASSERT_TRUE(sim.ArmFault(kResultPath, "body", "1</>0"));
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(Send(Url(kAnyDevice)), 1);
    EXPECT_EQ(sim.RequestTargets(), std::vector<std::string>(5, kAnyDevice));
}

// An answered exchange leaves a connection the HTTP layer could reuse; the server then drops the
// next request unanswered. Sending it again on a fresh connection would repeat a give or a paid
// text message the server may already have booked.
TEST_F(ExchangeTest, ARequestWhoseConnectionEndsUnansweredGoesOutOnce) {
    ASSERT_TRUE(sim.ArmFault(kLoginPath, "refuse"));
    ASSERT_TRUE(sim.ArmFault(kResultPath, "body", "1</>0"));
    EXPECT_EQ(Send(Url(kAnyDevice)), 1);
    EXPECT_EQ(Send(Url(kDemo)), 0);
    EXPECT_EQ(sim.RequestTargets(),
              (std::vector<std::string>{kAnyDevice, std::string(kLoginPath) + "?id=demo&password=***"}));
}

// The internet part hands out the body byte for byte, however small the reads.
TEST_F(ExchangeTest, EveryByteValueArrivesInOneByteReads) {
    std::string body;
    for (int b = 0; b < 256 * 8; ++b)
        body.push_back(static_cast<char>(b));
    ASSERT_TRUE(sim.ArmFault(kResultPath, "body", body));
    CInternetSession session(nullptr, 1, INTERNET_OPEN_TYPE_DIRECT);
    auto file = session.OpenURL(Url(kAnyDevice).c_str(), 1, INTERNET_FLAG_TRANSFER_ASCII);
    std::string read;
    char byte = 0;
    while (file->Read(&byte, 1) == 1)
        read.push_back(byte);
    EXPECT_TRUE(read == body) << read.size() << " bytes of " << body.size();
}

} // namespace

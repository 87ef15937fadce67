// The limits of one exchange, on the backend this build has (libcurl natively, WinInet under
// Wine): whatever the server does, an exchange ends within its limit as a failed one, and the
// field table keeps what it held. Shortened limits keep most rows fast; the "Real" rows hold the
// program's own constants (only where QUILLON_REAL_LIMITS is set: they take 40 s).
#include "ServerTest.h"

#include "framework/Internet.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr InternetLimits kShort{1000, 2500, 2000};
constexpr InternetLimits kReal{InternetTimeouts::kConnectMs, InternetTimeouts::kExchangeMs, InternetTimeouts::kStallMs};

struct Stall {
    const char* name;
    const char* fault;       // armed on get-result; nullptr: the port drops connects for blackholeMs
    std::int64_t blackholeMs;
    InternetLimits limits;
    bool real;
};

class ExchangeLimits : public ServerTest, public ::testing::WithParamInterface<Stall> {
protected:
    void TearDown() override {
        SetInternetLimitsForTests(kReal);
        // A black hole must be over before the next test talks to the server.
        for (int i = 0; i < 100 && sim.Get("/sim/requests").status != 200; ++i) {
        }
        ServerTest::TearDown();
    }
};

TEST_P(ExchangeLimits, EndTheExchangeInTime) {
    const Stall& c = GetParam();
    if (c.real && !std::getenv("QUILLON_REAL_LIMITS"))
        GTEST_SKIP() << "set QUILLON_REAL_LIMITS=1 to hold the 10 s and 30 s limits themselves";
    SetInternetLimitsForTests(c.limits);
    if (c.fault) {
        ASSERT_TRUE(sim.ArmFault("/android/pcposgetmilegeret.php", c.fault));
    } else {
        ASSERT_EQ(sim.Post("/sim/blackhole?ms=" + std::to_string(c.blackholeMs)).body, "1");
    }
    FillFields();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Send(Url("/android/pcposgetmilegeret.php?deviceid=x")), 0) << "a stalled exchange counted";
    const long long took =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(Fields(), AllSentinel());
    // What the clock may add to a limit: the exchange's own start and end, a loaded machine.
    const long long limit = c.fault ? c.limits.exchangeMs : c.limits.connectMs;
    EXPECT_LE(took, limit + 1500);
    if (c.real) {
        EXPECT_GE(took, limit - 500) << "ended before its limit: by what?";
        std::printf("%s: the exchange ended after %lld ms\n", c.name, took);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Stalls, ExchangeLimits,
    ::testing::Values(Stall{"Silent", "hang", 0, kShort, false},
                      // A byte every 300 ms never lets a socket time-out fire; only the deadline ends it.
                      Stall{"StatusLineAndHeadersTrickled", "trickle&chunk=1&ms=300", 0, kShort, false},
                      Stall{"BodyTrickled", "slow&chunk=1&ms=300", 0, kShort, false},
                      Stall{"ConnectBlackHoled", nullptr, 4000, kShort, false},
                      // 42 bytes of refusal at a byte every 0.8 s: 34 s, yet no stall time-out.
                      Stall{"RealDeadline", "slow&chunk=1&ms=800", 0, kReal, true},
                      Stall{"RealConnectLimit", nullptr, 13000, kReal, true}),
    [](const auto& param) { return std::string(param.param.name); });

} // namespace

// The limits of one exchange, on the backend this build has (libcurl natively, WinInet under
// Wine): whatever the server does, an exchange ends within its deadline as a failed one, and the
// field table keeps what it held. Shortened limits keep the table fast; RealLimits holds the
// program's own constants once (only where QUILLON_REAL_LIMITS is set: it takes 40 s).
#include "ServerTest.h"

#include "framework/Internet.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr char kResultPath[] = "/android/pcposgetmilegeret.php";
// What the clock may add to a limit: the exchange's own start and end, a loaded machine.
constexpr long long kSlackMs = 1500;

struct Stall {
    const char* name;
    const char* fault; // armed on get-result; empty: the port drops connects
    std::int64_t blackholeMs;
};

class LimitsTest : public ServerTest {
protected:
    static long long TimedSend(const std::u16string& url, int& result) {
        const auto start = std::chrono::steady_clock::now();
        result = Send(url);
        return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
            .count();
    }
    void TearDown() override {
        SetInternetLimitsForTests(
            {InternetTimeouts::kConnectMs, InternetTimeouts::kExchangeMs, InternetTimeouts::kStallMs});
        // A black hole must be over before the next test talks to the server.
        for (int i = 0; i < 100 && sim.Get("/sim/requests").status != 200; ++i) {
        }
        ServerTest::TearDown();
    }
};

class ExchangeLimits : public LimitsTest, public ::testing::WithParamInterface<Stall> {
protected:
    // Arms the stall, sends one get-result and returns how long the exchange took.
    long long StalledExchange(const Stall& stall, long long& bound) {
        const InternetLimits limits = CurrentInternetLimits();
        bound = (stall.blackholeMs ? limits.connectMs : limits.exchangeMs) + kSlackMs;
        if (stall.blackholeMs) {
            EXPECT_EQ(sim.Post("/sim/blackhole?ms=" + std::to_string(stall.blackholeMs)).body, "1");
        } else {
            EXPECT_TRUE(sim.ArmFault(kResultPath, stall.fault));
        }
        FillFields();
        int result = -1;
        const long long took = TimedSend(Url(std::string(kResultPath) + "?deviceid=x"), result);
        EXPECT_EQ(result, 0) << "a stalled exchange counted as a reply";
        EXPECT_EQ(Fields(), AllSentinel());
        return took;
    }
};

TEST_P(ExchangeLimits, EndWithinTheDeadline) {
    SetInternetLimitsForTests({1000, 2500, 2000});
    long long bound = 0;
    const long long took = StalledExchange(GetParam(), bound);
    EXPECT_LE(took, bound) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    Stalls, ExchangeLimits,
    ::testing::Values(Stall{"Silent", "hang", 0},
                      // A byte every 300 ms never lets a socket time-out fire; only the deadline ends it.
                      Stall{"StatusLineAndHeadersTrickled", "trickle&chunk=1&ms=300", 0},
                      Stall{"BodyTrickled", "slow&chunk=1&ms=300", 0},
                      Stall{"ConnectBlackHoled", "", 4000}),
    [](const auto& param) { return std::string(param.param.name); });

using RealLimits = LimitsTest;

TEST_F(RealLimits, TheProgramsOwnConstants) {
    if (!std::getenv("QUILLON_REAL_LIMITS"))
        GTEST_SKIP() << "set QUILLON_REAL_LIMITS=1 to hold the 10 s and 30 s limits themselves";
    // 42 bytes of refusal at a byte every 0.8 s: 34 s, past the deadline, yet fast enough that no
    // stall time-out fires first.
    ASSERT_TRUE(sim.ArmFault(kResultPath, "slow&chunk=1&ms=800"));
    int result = -1;
    const std::u16string url = U16("http://" + sim.HostPort() + kResultPath + "?deviceid=x");
    long long took = TimedSend(url, result);
    EXPECT_EQ(result, 0);
    EXPECT_GE(took, InternetTimeouts::kExchangeMs - 500) << "ended before the deadline: by what?";
    EXPECT_LE(took, InternetTimeouts::kExchangeMs + kSlackMs);
    std::printf("trickled body: the exchange ended after %lld ms\n", took);
    ASSERT_TRUE(sim.DisarmFault(kResultPath));

    ASSERT_EQ(sim.Post("/sim/blackhole?ms=13000").body, "1");
    took = TimedSend(url, result);
    EXPECT_EQ(result, 0);
    EXPECT_LE(took, InternetTimeouts::kConnectMs + kSlackMs);
    std::printf("black-holed connect: the exchange ended after %lld ms\n", took);
}

} // namespace

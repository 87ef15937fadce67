// A request the till has given up on never reaches the server afterwards, on the backend this
// build has. The port drops connects (its SYNs go unanswered and the kernel retries them) until
// after the exchange has failed or its transaction has been closed; then it accepts again, and
// nothing of the given-up requests may arrive while the test watches. Without care the retried
// connect completes and the request is written seconds after the cashier saw it fail.
#include "ServerTest.h"

#include "dialogs/OperationRequest.h"
#include "dialogs/PollCompletion.h"
#include "dialogs/TextMessage.h"
#include "framework/Internet.h"

#include <chrono>
#include <cstdlib>
#include <future>
#include <thread>

namespace {

using namespace std::chrono;

constexpr char kOperationPath[] = "/android/pcposmilege.php";
constexpr char kTextPath[] = "/sms_client_v10/pctelmilege.php";
constexpr char kResultPath[] = "/android/pcposgetmilegeret.php";

struct Late {
    const char* name;
    bool closeAPoll;         // close a transaction whose poll is in its connect; else give + text
    InternetLimits limits;
    int blackholeMs;         // longer than the connect limit: the kernel's next SYN retry connects
    int watchMs;             // from the start, how long nothing may arrive
    bool real;
};

class LateSend : public ServerTest, public ::testing::WithParamInterface<Late> {
protected:
    void TearDown() override {
        SetInternetLimitsForTests({InternetTimeouts::kConnectMs, InternetTimeouts::kExchangeMs,
                                   InternetTimeouts::kStallMs});
        ServerTest::TearDown();
    }
    int Count(const char* path) const {
        int n = 0;
        for (const auto& target : sim.RequestTargets())
            n += target.rfind(path, 0) == 0;
        return n;
    }
    bool Blackhole(int ms) const { return sim.Post("/sim/blackhole?ms=" + std::to_string(ms)).body == "1"; }
};

TEST_P(LateSend, NothingGivenUpArrivesLater) {
    const Late& c = GetParam();
    if (c.real && !std::getenv("QUILLON_REAL_LIMITS"))
        GTEST_SKIP() << "set QUILLON_REAL_LIMITS=1 to watch a minute past the real 10 s limit";
    ASSERT_TRUE(LogIn());
    g_operation = Give;
    SetSaleInputs(u"15000", u"5");
    const auto start = steady_clock::now();
    if (c.closeAPoll) {
        const std::uint32_t transaction = BeginTransaction();
        g_txState = TxGiveSent;
        ClearStopPolling();
        std::thread poller([transaction] { PollCompletion(transaction); });
        // Once the first poll has been answered (the poller then pauses 300 ms), the next one's
        // connect is dropped.
        int polls = 0;
        for (int i = 0; i < 500 && (polls = Count(kResultPath)) == 0; ++i)
            std::this_thread::sleep_for(milliseconds(5));
        ASSERT_TRUE(Blackhole(c.blackholeMs));
        std::this_thread::sleep_for(milliseconds(kPollPauseMs + 300)); // the next poll is in its connect
        EndTransaction();
        std::this_thread::sleep_until(start + milliseconds(c.watchMs));
        EXPECT_EQ(Count(kResultPath), polls) << "a poll of the closed transaction arrived";
        poller.join(); // a test may wait for it; the dialog never does
        return;
    }
    SetInternetLimitsForTests(c.limits);
    BeginTransaction();
    ASSERT_TRUE(Blackhole(c.blackholeMs));
    // Both at once, as a poller's exchange would run beside the UI thread's.
    auto text = std::async(std::launch::async, [] { return SendTextMessage(u"010-1234-5678", 1); });
    EXPECT_EQ(SendOperation(Give), OperationResult::Failed);
    EXPECT_EQ(text.get(), TextMessageResult::Failed);
    EXPECT_LT(steady_clock::now() - start, milliseconds(c.blackholeMs)) << "failed only once the port accepted";
    std::this_thread::sleep_until(start + milliseconds(c.watchMs));
    EXPECT_EQ(Count(kOperationPath), 0) << "the give arrived after it was reported failed";
    EXPECT_EQ(Count(kTextPath), 0) << "the text message arrived after it was reported failed";
    EXPECT_TRUE(sim.SmsOutbox().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Connects, LateSend,
    ::testing::Values(
        // Retried SYNs go out at about 1, 3, 7, 15 and 31 s: the one at 3 s connects.
        Late{"PastTheConnectLimit", false, {1000, 2500, 2000}, 2500, 8000, false},
        Late{"PollClosedDuringItsConnect", true, {10000, 30000, 20000}, 2500, 8000, false},
        // The limit of the program itself: the retry at 15 s connects; a minute is watched.
        Late{"PastTheRealConnectLimit", false, {10000, 30000, 20000}, 12000, 70000, true}),
    [](const auto& param) { return std::string(param.param.name); });

} // namespace

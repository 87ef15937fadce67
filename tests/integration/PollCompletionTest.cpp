// The completion poller on its worker thread beside the UI thread's exchanges, against the
// server: the right g_txDone for a completion and for each kind of stop, each UI exchange reading
// its own reply, closes that never wait on a poll in flight and leave nothing of it behind, and a
// text message that never follows a confirmation. Under native-tsan the stresses below are the
// race detector's material.
#include "ServerTest.h"

#include "dialogs/PollCompletion.h"
#include "dialogs/TextMessage.h"
#include "dialogs/TransactionRules.h"
#include "framework/Internet.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <random>
#include <thread>

namespace {

constexpr char kResultPath[] = "/android/pcposgetmilegeret.php";
constexpr char kDeletePath[] = "/android/deleteposdata.php";
// Upper bound of UI exchanges while waiting for the poller; only a broken poller reaches it.
constexpr int kMaxUiExchanges = 600;
// Short limits, so that a poll abandoned in a stalled exchange ends within the test.
constexpr InternetLimits kTestLimits{1000, 2000, 1500};

class PollCompletionTest : public ServerTest {
protected:
    void SetUp() override {
        ServerTest::SetUp();
        SetInternetLimitsForTests(kTestLimits);
        ASSERT_EQ(Login(u"demo", u"demo"), u"1");
        m_device = U8(g_deviceId);
        sim.Reset();
    }

    void TearDown() override {
        EndTransaction();
        JoinPoller();
        SetInternetLimitsForTests(
            {InternetTimeouts::kConnectMs, InternetTimeouts::kExchangeMs, InternetTimeouts::kStallMs});
        ServerTest::TearDown();
    }

    // What the amount entry and the transaction dialog do before polling.
    bool StartOperation(MileageOp op, const char16_t* price) {
        const OperationInfo* operation = FindOperation(op);
        g_operation = op;
        g_txDone = 0;
        SetSaleInputs(price, u"5");
        auto lock = LockExchange();
        if (!FormatOperationUrl(*operation) || SendRequest(lock) != 1)
            return false;
        if (op == Give)
            g_coinPoints = ParseCoinPoints(g_fields[1]);
        g_txState = operation->sentState;
        return true;
    }

    // An operation the customer confirms at once, polled for by hand, so that a later one has
    // something to work on (mileage to pay with, a payment to cancel).
    void Settle(MileageOp op, const char16_t* price) {
        ASSERT_TRUE(StartOperation(op, price));
        ASSERT_TRUE(sim.Confirm(m_device));
        auto lock = LockExchange();
        ASSERT_EQ(FormatGetResultUrl(), 1);
        ASSERT_EQ(SendRequest(lock), 1);
        ASSERT_EQ(std::u16string_view(g_fields[1]), CompletionCodeFor(g_txState));
        ASSERT_EQ(FormatDeleteDataUrl(), 1);
        SendRequest(lock);
        g_txState = 0;
    }

    void StartPoller() {
        ClearStopPolling();
        m_finished = false;
        m_result = -1;
        const std::uint32_t transaction = g_transaction;
        m_poller = std::thread([this, transaction] {
            m_result = PollCompletion(transaction);
            m_finished = true;
        });
    }
    void JoinPoller() {
        if (m_poller.joinable())
            m_poller.join();
    }

    // The UI thread's side while the poller runs: one echo exchange after another, each checking
    // that the reply it reads is its own, until `until` holds.
    bool ExchangeUntil(const std::function<bool()>& until) {
        for (int i = 0; i < kMaxUiExchanges; ++i) {
            if (until())
                return true;
            if (!Echo())
                ++m_foreignReplies;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return until();
    }
    // One exchange of the UI thread beside the poller, like a text message: true when it read its
    // own reply, in a table of its own.
    bool Echo() {
        auto lock = LockExchange();
        const std::u16string mark = U16("ui-" + std::to_string(m_uiExchanges++));
        char16_t reply[kFieldCount][kFieldCapacity] = {};
        return FormatUrl(g_requestUrl, kUrlCapacity, u"http://%s/sim/echo?n=%s",
                         {Host(g_serverHost), Query(mark.c_str())}) &&
               SendRequest(lock, reply) == 1 && std::u16string_view(reply[1]) == u"n=" + mark;
    }

    int Count(const char* path) const {
        const auto targets = sim.RequestTargets();
        return static_cast<int>(std::count_if(targets.begin(), targets.end(), [&](const std::string& target) {
            return target.rfind(path, 0) == 0;
        }));
    }
    bool WaitFor(const std::function<bool()>& until, int ms = 5000) const {
        for (int waited = 0; waited < ms; waited += 10) {
            if (until())
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return until();
    }

    std::string m_device;
    std::thread m_poller;
    std::atomic<bool> m_finished{false};
    std::atomic<int> m_result{-1};
    int m_uiExchanges = 0;
    int m_foreignReplies = 0;
};

struct Step {
    MileageOp op;
    const char16_t* price;
};

struct CompletionCase {
    const char* name;
    std::vector<Step> before; // settled first: a pay needs mileage, a cancel a payment
    MileageOp op;
    const char16_t* price;
    std::int32_t sentState;
    const char16_t* code;
    int lastLine; // the last result line the screen paints
};

class Completion : public PollCompletionTest, public ::testing::WithParamInterface<CompletionCase> {};

TEST_P(Completion, RecordsTheStateAndLeavesTheResultLines) {
    const CompletionCase& c = GetParam();
    for (const Step& step : c.before)
        ASSERT_NO_FATAL_FAILURE(Settle(step.op, step.price));
    sim.Reset();
    ASSERT_TRUE(StartOperation(c.op, c.price));
    StartPoller();
    ASSERT_TRUE(ExchangeUntil([&] { return Count(kResultPath) >= 3; })) << "the poller never polled";
    ASSERT_TRUE(sim.Confirm(m_device));
    ASSERT_TRUE(ExchangeUntil([&] { return m_finished.load(); })) << "the poller did not end";
    JoinPoller();

    EXPECT_EQ(m_result.load(), 1);
    EXPECT_EQ(g_txDone.load(), c.sentState);
    EXPECT_TRUE(g_txConfirmed.load());
    EXPECT_EQ(m_foreignReplies, 0) << "an exchange read another exchange's reply";
    const auto targets = sim.RequestTargets();
    ASSERT_GE(targets.size(), 2u);
    EXPECT_EQ(targets.back().rfind(kDeletePath, 0), 0u) << "delete-data comes last, once";
    EXPECT_EQ(Count(kDeletePath), 1);
    const auto fields = Fields();
    EXPECT_EQ(fields[0], u"1");
    EXPECT_EQ(fields[1], c.code) << "the delete-data reply reaches field 0 only";
    for (int i = 2; i <= c.lastLine; ++i)
        EXPECT_FALSE(fields[i].empty()) << "result line " << i;
}

INSTANTIATE_TEST_SUITE_P(
    Operations, Completion,
    ::testing::Values(
        CompletionCase{"give", {}, Give, u"1000", TxGiveSent, u"11", 8},
        CompletionCase{"pay", {{Give, u"20000"}}, Pay, u"1000", TxPaySent, u"12", 10},
        CompletionCase{"cancel", {{Give, u"20000"}, {Pay, u"800"}}, Cancel, u"800", TxCancelSent, u"13", 10}),
    [](const auto& param) { return std::string(param.param.name); });

// A sent text message stops the poller, which records the give as done (a close: the tests below).
TEST_F(PollCompletionTest, StopByTextMessageRecordsTheGive) {
    ASSERT_TRUE(StartOperation(Give, u"1000"));
    StartPoller();
    ASSERT_TRUE(ExchangeUntil([&] { return Count(kResultPath) >= 2; }));
    EXPECT_EQ(SendTextMessage(u"010-2222-3333", 1700000000), TextMessageResult::Sent);
    ASSERT_TRUE(WaitFor([&] { return m_finished.load(); }));
    JoinPoller();
    EXPECT_EQ(m_result.load(), 1);
    EXPECT_EQ(g_txDone.load(), TxGiveSent);
    EXPECT_EQ(Count(kDeletePath), 0);
    EXPECT_EQ(sim.SmsOutbox().size(), 1u);
}

// A close while the poll hangs, trickles or cannot connect returns at once; the next exchange
// goes out while the old poll is still stuck; the old poll, when it gives up, changes nothing.
struct StalledPoll {
    const char* name;
    const char* fault; // armed on get-result; empty: the port drops connects
};

class CloseDuringStalledPoll : public PollCompletionTest, public ::testing::WithParamInterface<StalledPoll> {};

TEST_P(CloseDuringStalledPoll, NeitherWaitsNorLeavesAnything) {
    ASSERT_TRUE(StartOperation(Give, u"1000"));
    StartPoller();
    ASSERT_TRUE(WaitFor([&] { return Count(kResultPath) >= 1; }));
    const int polls = Count(kResultPath);
    const std::string fault = GetParam().fault;
    if (fault.empty()) {
        ASSERT_EQ(sim.Post("/sim/blackhole?ms=1500").body, "1");
    } else {
        ASSERT_TRUE(sim.ArmFault(kResultPath, fault));
        ASSERT_TRUE(sim.Confirm(m_device)); // the stalled poll carries the completion
    }
    // The pause ends and the next poll starts into the stall.
    std::this_thread::sleep_for(std::chrono::milliseconds(kPollPauseMs + 200));
    if (!fault.empty()) {
        ASSERT_EQ(Count(kResultPath), polls + 1) << "the poll did not reach the stalled server";
    }
    const auto closing = std::chrono::steady_clock::now();
    EndTransaction();
    // Far below the stalled exchange's own end (the limits above): the close did not wait for it.
    EXPECT_LT(std::chrono::steady_clock::now() - closing, std::chrono::milliseconds(300));
    EXPECT_FALSE(m_finished.load()) << "the poll was not stalled when the transaction closed";
    if (fault.empty()) {
        // The port drops every connect, the test's own too: what must not wait here is the
        // shared state, which the poll blocked in its connect must not hold.
        { auto lock = LockExchange(); }
        EXPECT_FALSE(m_finished.load()) << "the lock waited for the stalled poll";
        ASSERT_TRUE(WaitFor([&] { return m_finished.load(); }));
    } else {
        EXPECT_TRUE(Echo()) << "the next exchange did not go through";
        EXPECT_FALSE(m_finished.load()) << "the next exchange waited for the stalled poll";
    }
    if (fault.empty()) {
        ASSERT_TRUE(WaitFor([&] { return sim.Get("/sim/requests").status == 200; }));
        EXPECT_TRUE(Echo());
    }
    const auto afterClose = Fields();
    JoinPoller();
    EXPECT_EQ(m_result.load(), 0);
    EXPECT_EQ(g_txDone.load(), 0);
    EXPECT_EQ(g_txState.load(), 0);
    EXPECT_EQ(Fields(), afterClose) << "the abandoned poll reached the field table";
    EXPECT_EQ(Count(kDeletePath), 0);
}

INSTANTIATE_TEST_SUITE_P(Stalls, CloseDuringStalledPoll,
                         ::testing::Values(StalledPoll{"Hung", "hang"},
                                           StalledPoll{"Trickling", "trickle&chunk=1&ms=300"},
                                           StalledPoll{"BlackHoledConnect", ""}),
                         [](const auto& param) { return std::string(param.param.name); });

// Closes at random moments of a poller's cycle, while confirmations arrive at random moments too:
// after each close both g_txState and g_txDone are 0 and stay so, and the old poller's replies
// never reach the table.
TEST_F(PollCompletionTest, ClosesAtRandomMomentsLeaveNothingBehind) {
    std::mt19937 random(20261207);
    for (int round = 0; round < 30; ++round) {
        ASSERT_TRUE(StartOperation(Give, u"100"));
        // Every poll takes a while, so that most closes fall inside one.
        ASSERT_TRUE(sim.ArmFault(kResultPath, "delay&ms=" + std::to_string(10 + random() % 40)));
        StartPoller();
        std::this_thread::sleep_for(std::chrono::milliseconds(random() % 60));
        if (round % 2 == 0)
            sim.Confirm(m_device);
        std::this_thread::sleep_for(std::chrono::milliseconds(random() % 30));
        EndTransaction();
        EXPECT_EQ(g_txState.load(), 0);
        EXPECT_EQ(g_txDone.load(), 0);
        // The next transaction's first reply, which a late poll of the closed one must not cover.
        ASSERT_EQ(Send(Url("/sim/echo?round=" + std::to_string(round))), 1);
        const auto atClose = Fields();
        JoinPoller();
        EXPECT_EQ(g_txDone.load(), 0) << "round " << round;
        EXPECT_EQ(Fields(), atClose) << "round " << round << ": a closed poll reached the table";
        sim.DisarmFault(kResultPath);
        // Settle a pending confirmation so that the next round starts from a waiting device.
        auto lock = LockExchange();
        if (FormatDeleteDataUrl())
            SendRequest(lock);
    }
}

// A text message clicked while the confirmation is being completed (delete-data in flight) is
// not sent; sends racing completions at random moments never follow a confirmation.
TEST_F(PollCompletionTest, NoTextMessageAfterTheConfirmation) {
    ASSERT_TRUE(StartOperation(Give, u"1000"));
    ASSERT_TRUE(sim.ArmFault(kDeletePath, "delay&ms=500"));
    StartPoller();
    ASSERT_TRUE(sim.Confirm(m_device));
    ASSERT_TRUE(WaitFor([] { return g_txConfirmed.load(); }));
    EXPECT_EQ(g_txDone.load(), 0) << "the delete-data exchange is still under way";
    EXPECT_EQ(SendTextMessage(u"010-1111-2222", 1), TextMessageResult::Confirmed);
    JoinPoller();
    EXPECT_EQ(g_txDone.load(), TxGiveSent);
    EXPECT_TRUE(sim.SmsOutbox().empty());
    ASSERT_TRUE(sim.DisarmFault(kDeletePath));

    std::mt19937 random(7);
    for (int round = 0; round < 20; ++round) {
        EndTransaction();
        ASSERT_TRUE(StartOperation(Give, u"100"));
        StartPoller();
        sim.Confirm(m_device);
        std::this_thread::sleep_for(std::chrono::milliseconds(random() % 20));
        const bool confirmedBefore = g_txConfirmed.load();
        const TextMessageResult result = SendTextMessage(u"010", round);
        if (confirmedBefore) {
            EXPECT_EQ(result, TextMessageResult::Confirmed) << "round " << round;
        }
        JoinPoller();
        EXPECT_EQ(g_txDone.load(), TxGiveSent) << "round " << round;
    }
}

} // namespace

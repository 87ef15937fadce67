// The completion poller on its worker thread and the UI thread's exchanges at once, against the
// server, with the customer's confirmation arriving through /sim/confirm. Each exchange must stay
// whole (the UI thread always reads its own reply), the poller must record the right g_txDone for
// a completion and for each kind of stop, and ThreadSanitizer (native-tsan) must stay silent.
#include "ServerTest.h"

#include "dialogs/PollCompletion.h"
#include "dialogs/TransactionRules.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

namespace {

constexpr char kGetResult[] = "/android/pcposgetmilegeret.php?deviceid=";
constexpr char kDeleteData[] = "/android/deleteposdata.php?deviceid=";
// Upper bound of UI exchanges while waiting for the poller; only a broken poller reaches it.
constexpr int kMaxUiExchanges = 600;

class PollCompletionTest : public ServerTest {
protected:
    void SetUp() override {
        ServerTest::SetUp();
        ASSERT_EQ(Login(u"demo", u"demo"), u"1");
        m_device = U8(g_deviceId);
        sim.Reset();
    }

    void TearDown() override {
        if (m_poller.joinable()) {
            RaiseStopPolling();
            m_poller.join();
        }
        ServerTest::TearDown();
    }

    // What the amount entry and the transaction dialog do before polling: choose, send the
    // operation's request, record the coin balance of a give, set g_txState.
    bool StartOperation(MileageOp op, const char16_t* price) {
        const OperationInfo* operation = FindOperation(op);
        g_operation = op;
        g_txDone = 0;
        SetSaleInputs(price, u"5");
        auto lock = LockExchange();
        if (!FormatOperationUrl(*operation))
            return false;
        const int result = SendRequest();
        if (op == Give) {
            if (result != 1)
                return false;
            g_coinPoints = ParseCoinPoints(g_fields[1]);
        }
        g_txState = operation->sentState;
        return true;
    }

    // An operation the customer confirms at once, without a poller, so that a later one has
    // something to work on (mileage to pay with, a payment to cancel).
    void Settle(MileageOp op, const char16_t* price) {
        ASSERT_TRUE(StartOperation(op, price));
        ASSERT_TRUE(sim.Confirm(m_device));
        auto lock = LockExchange();
        ASSERT_EQ(FormatGetResultUrl(), 1);
        ASSERT_EQ(SendRequest(), 1);
        ASSERT_EQ(std::u16string_view(g_fields[1]), CompletionCodeFor(g_txState));
        ASSERT_EQ(FormatDeleteDataUrl(), 1);
        SendRequest();
        g_txState = 0;
    }

    void StartPoller() {
        ClearStopPolling();
        m_finished = false;
        m_poller = std::thread([this] {
            PollCompletion();
            m_finished = true;
        });
    }

    // The UI thread's side while the poller runs: one echo exchange after another, each checking
    // that the reply it reads is its own, until `until` holds. False when it never did. Once the
    // poller has recorded a completion the UI side sends nothing more: the dialog then only
    // repaints from the fields the poller left.
    bool ExchangeUntil(const std::function<bool()>& until) {
        for (int i = 0; i < kMaxUiExchanges; ++i) {
            if (until())
                return true;
            auto lock = LockExchange();
            if (g_txDone.load() > 0) {
                lock.unlock();
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
                continue;
            }
            const std::u16string mark = U16("ui-" + std::to_string(m_uiExchanges));
            if (!FormatUrl(g_requestUrl, kUrlCapacity, u"http://%s/sim/echo?n=%s",
                           {Host(g_serverHost), Query(mark.c_str())}) ||
                SendRequest() != 1 || std::u16string_view(g_fields[1]) != u"n=" + mark)
                ++m_foreignReplies;
            ++m_uiExchanges;
            lock.unlock();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return until();
    }

    int Count(const std::string& target) const {
        const auto targets = sim.RequestTargets();
        return static_cast<int>(std::count(targets.begin(), targets.end(), target));
    }
    std::string GetResultTarget() const { return kGetResult + SimClient::Encode(m_device); }
    std::string DeleteDataTarget() const { return kDeleteData + SimClient::Encode(m_device); }

    // Lets the poller go round a few times while the UI thread exchanges, so both are surely
    // inside their exchanges at once, not one after the other.
    void LetThePollerRun() {
        ASSERT_TRUE(ExchangeUntil([&] { return Count(GetResultTarget()) >= 3; }))
            << "the poller never polled; log:\n"
            << ::testing::PrintToString(sim.RequestTargets());
    }

    void WaitForThePoller() {
        const bool finished = ExchangeUntil([&] { return m_finished.load(); });
        if (!finished)
            RaiseStopPolling();
        m_poller.join();
        ASSERT_TRUE(finished) << "the poller did not end by itself";
    }

    std::string m_device;
    std::thread m_poller;
    std::atomic<bool> m_finished{false};
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
    LetThePollerRun();
    ASSERT_TRUE(sim.Confirm(m_device));
    WaitForThePoller();

    EXPECT_EQ(g_txDone.load(), c.sentState);
    EXPECT_GT(m_uiExchanges, 0);
    EXPECT_EQ(m_foreignReplies, 0) << "an exchange read another exchange's reply";
    const auto targets = sim.RequestTargets();
    ASSERT_GE(targets.size(), 3u);
    EXPECT_EQ(targets.back(), DeleteDataTarget()) << "delete-data comes last, once";
    EXPECT_EQ(Count(DeleteDataTarget()), 1);
    EXPECT_EQ(targets[targets.size() - 2], GetResultTarget());

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

// Closing the dialog clears g_txState before it raises the stop flag: the poller records 0.
TEST_F(PollCompletionTest, StopByClosingRecordsZero) {
    ASSERT_TRUE(StartOperation(Give, u"1000"));
    StartPoller();
    LetThePollerRun();
    g_txDone = -1; // a mark the poller must overwrite
    g_txState = 0;
    RaiseStopPolling();
    WaitForThePoller();
    EXPECT_EQ(g_txDone.load(), 0);
    EXPECT_EQ(m_foreignReplies, 0);
    EXPECT_EQ(Count(DeleteDataTarget()), 0) << "a stopped poller completes nothing";
}

// A text message raises the stop flag and keeps g_txState: the poller records 3 and the text
// message's exchange goes through while the poller winds down.
TEST_F(PollCompletionTest, StopByTextMessageKeepsTheGiveState) {
    ASSERT_TRUE(StartOperation(Give, u"1000"));
    ASSERT_GT(g_coinPoints.load(), 0);
    StartPoller();
    LetThePollerRun();
    g_txDone = -1;
    RaiseStopPolling();
    {
        auto lock = LockExchange();
        ASSERT_EQ(FormatTextMessageUrl(u"010-2222-3333", 1700000000), 1);
        EXPECT_EQ(SendRequest(), 1);
        EXPECT_EQ(std::u16string(g_fields[0]), u"1");
    }
    WaitForThePoller();
    EXPECT_EQ(g_txDone.load(), TxGiveSent);
    EXPECT_EQ(m_foreignReplies, 0);
    EXPECT_EQ(Count(DeleteDataTarget()), 0);
    const auto outbox = sim.SmsOutbox();
    ASSERT_EQ(outbox.size(), 1u);
    ASSERT_GE(outbox[0].size(), 2u);
    EXPECT_EQ(outbox[0][1], "010-2222-3333");
}

// A confirmation for another till never ends this till's wait.
TEST_F(PollCompletionTest, OtherTillsConfirmationDoesNotComplete) {
    const std::string mine = m_device;
    ASSERT_EQ(Login(u"demo", u"demo"), u"1"); // a second till of the same shop
    const std::string other = U8(g_deviceId);
    ASSERT_TRUE(StartOperation(Give, u"500"));
    quillon::CopyText(g_deviceId, U16(mine));
    ASSERT_TRUE(StartOperation(Give, u"700"));
    StartPoller();
    LetThePollerRun();
    ASSERT_TRUE(sim.Confirm(other));
    const int pollsBefore = Count(GetResultTarget());
    ASSERT_TRUE(ExchangeUntil([&] { return Count(GetResultTarget()) >= pollsBefore + 3; }));
    EXPECT_FALSE(m_finished.load());
    EXPECT_EQ(g_txDone.load(), 0);
    ASSERT_TRUE(sim.Confirm(mine));
    WaitForThePoller();
    EXPECT_EQ(g_txDone.load(), TxGiveSent);
}

} // namespace

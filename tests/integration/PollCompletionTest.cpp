// The completion poller on its worker thread beside the UI thread's exchanges, against the
// server: the right g_txDone for a completion and for each kind of stop, each exchange deciding
// on its own reply whatever shape it has, closes at any moment that leave nothing of the closed
// poll behind, and a text message that never follows a confirmation. (A close during a stalled
// poll, through the real dialog: tests/windows/ClosingTest.cpp.) Under native-tsan these are the
// race detector's material.
#include "ServerTest.h"

#include "dialogs/TextMessage.h"

#include <chrono>
#include <functional>
#include <random>
#include <thread>

namespace {

// Upper bound of UI exchanges while waiting for the poller; only a broken poller reaches it.
constexpr int kMaxUiExchanges = 600;

class PollCompletionTest : public ServerTest {
protected:
    void SetUp() override {
        ServerTest::SetUp();
        ASSERT_TRUE(LogIn());
        m_device = U8(g_deviceId);
        sim.Reset();
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
        const std::string mark = "n=ui-" + std::to_string(m_uiExchanges++);
        ReplyRecord reply;
        return SendUrl(Url("/sim/echo?" + mark), reply, Commit::Nowhere) == 1 && reply.Field(1) == U16(mark);
    }

    std::string m_device;
    int m_uiExchanges = 0;
    int m_foreignReplies = 0;
};

// A sent text message stops the poller, which records the give as done (a close: the test below).
TEST_F(PollCompletionTest, StopByTextMessageRecordsTheGive) {
    ASSERT_EQ(StartOperation(Give, u"1000"), OperationResult::Accepted);
    StartPoller();
    ASSERT_TRUE(ExchangeUntil([&] { return sim.Count(kResultPath) >= 2; }));
    EXPECT_EQ(SendTextMessage(u"010-2222-3333", 1700000000), TextMessageResult::Sent);
    ASSERT_TRUE(WaitUntil(5000, [&] { return Finished(); }));
    EXPECT_EQ(JoinPoller(), 1);
    EXPECT_EQ(g_txDone.load(), TxGiveSent);
    EXPECT_EQ(sim.Count(kDeletePath), 0);
    EXPECT_EQ(sim.SmsOutbox().size(), 1u);
}

// Closes at random moments of a poller's cycle, while confirmations arrive at random moments too:
// after each close both g_txState and g_txDone are 0 and stay so, and the old poller's replies
// never reach the table.
TEST_F(PollCompletionTest, ClosesAtRandomMomentsLeaveNothingBehind) {
    std::mt19937 random(20261207);
    for (int round = 0; round < 30; ++round) {
        ASSERT_EQ(StartOperation(Give, u"100"), OperationResult::Accepted);
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
// not sent.
TEST_F(PollCompletionTest, NoTextMessageAfterTheConfirmation) {
    ASSERT_EQ(StartOperation(Give, u"1000"), OperationResult::Accepted);
    ASSERT_TRUE(sim.ArmFault(kDeletePath, "delay&ms=500"));
    StartPoller();
    ASSERT_TRUE(sim.Confirm(m_device));
    ASSERT_TRUE(WaitUntil(5000, [] { return g_txConfirmed.load(); }));
    EXPECT_EQ(g_txDone.load(), 0) << "the delete-data exchange is still under way";
    EXPECT_EQ(SendTextMessage(u"010-1111-2222", 1), TextMessageResult::Confirmed);
    JoinPoller();
    EXPECT_EQ(g_txDone.load(), TxGiveSent);
    EXPECT_TRUE(sim.SmsOutbox().empty());
}

// Replies that are not the operator's, or say less than the one before, at every decision point
// of a give that follows a completed give: each decision reads its own reply only, and an HTTP
// status other than 200 is a failed exchange whatever its body says.
struct Shape {
    const char* name;
    int status;
    std::string body;
    bool accepted;             // by the operation and the text message
    const char16_t* field0;    // field 0 of the table after a delete-data reply of this shape
};

class ReplyShape : public PollCompletionTest, public ::testing::WithParamInterface<Shape> {
protected:
    bool Arm(const char* path) const {
        const Shape& c = GetParam();
        return sim.ArmFault(path, "body&status=" + std::to_string(c.status), c.body);
    }
    // The poller completes the give, the UI thread exchanging beside it all the while, with one
    // delete-data past the `deletes` of the log before.
    void EndsWithTheGiveCompleted(int deletes) {
        ASSERT_TRUE(ExchangeUntil([&] { return Finished(); })) << "the poller did not end";
        ASSERT_EQ(JoinPoller(), 1);
        ASSERT_EQ(g_txDone.load(), TxGiveSent);
        EXPECT_EQ(sim.Count(kDeletePath), deletes + 1) << "one delete-data per completion";
        EXPECT_EQ(m_foreignReplies, 0) << "an exchange read another exchange's reply";
    }
};

TEST_P(ReplyShape, CountsOnlyForItsOwnExchange) {
    const Shape& c = GetParam();
    // One whole give with the customer's confirmation: what leaves its code and lines behind.
    ASSERT_EQ(StartOperation(Give, u"1000"), OperationResult::Accepted);
    StartPoller();
    ASSERT_TRUE(sim.Confirm(m_device));
    ASSERT_NO_FATAL_FAILURE(EndsWithTheGiveCompleted(0));
    ASSERT_TRUE(g_txConfirmed.load());
    const auto completed = Fields();
    ASSERT_EQ(completed[1], u"11");
    ASSERT_GT(g_coinPoints.load(), 0);
    const std::int32_t coins = g_coinPoints;
    EndTransaction();

    // The operation: accepted by its own field 0 only, its coins from its own field 1.
    ASSERT_TRUE(Arm(kOperationPath));
    EXPECT_EQ(StartOperation(Give, u"2000"), c.accepted ? OperationResult::Accepted : OperationResult::Failed);
    EXPECT_EQ(g_txState.load(), c.accepted ? TxGiveSent : TxNone);
    EXPECT_EQ(g_coinPoints.load(), c.accepted ? 0 : coins) << "coins of an earlier reply";
    EXPECT_EQ(Fields(), std::vector<std::u16string>(kFieldCount)) << "a new transaction starts empty";
    EndTransaction();
    ASSERT_TRUE(sim.DisarmFault(kOperationPath));

    // The poll: no completion from an earlier transaction's code.
    ASSERT_EQ(StartOperation(Give, u"2000"), OperationResult::Accepted);
    ASSERT_TRUE(sim.Confirm(m_device));
    ASSERT_TRUE(Arm(kResultPath));
    const int polls = sim.Count(kResultPath), deletes = sim.Count(kDeletePath);
    StartPoller();
    ASSERT_TRUE(WaitUntil(5000, [&] { return sim.Count(kResultPath) >= polls + 3; }));
    EXPECT_EQ(g_txDone.load(), 0) << "completed by a reply that is not the operator's";
    EXPECT_EQ(sim.Count(kDeletePath), deletes);

    // Delete-data: laid over the completing get-result's lines, and no further.
    ASSERT_TRUE(Arm(kDeletePath));
    ASSERT_TRUE(sim.DisarmFault(kResultPath));
    ASSERT_NO_FATAL_FAILURE(EndsWithTheGiveCompleted(deletes));
    const auto fields = Fields();
    EXPECT_EQ(fields[0], c.field0);
    EXPECT_EQ(fields[1], u"11");
    EXPECT_EQ(fields[2], u"김민준") << "the confirming customer's own line";
    EXPECT_NE(fields[4], completed[4]) << "this give's sales line, not the last one's";
    EndTransaction();
    ASSERT_TRUE(sim.DisarmFault(kDeletePath));

    // The text message: sent only when its own reply says so.
    ASSERT_EQ(StartOperation(Give, u"3000"), OperationResult::Accepted);
    ASSERT_TRUE(Arm(kTextPath));
    EXPECT_EQ(SendTextMessage(u"010-1234-5678", 1), c.accepted ? TextMessageResult::Sent : TextMessageResult::Failed);
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, ReplyShape,
    ::testing::Values(Shape{"BadGatewayPage", 502, "<html><h1>502 Bad Gateway</h1></html>", false, u"1"},
                      Shape{"PageWithoutSeparator", 200, "<html>maintenance</html>", true, u"<html>maintenance</html>"}),
    [](const auto& param) { return std::string(param.param.name); });

} // namespace

// Common ground of the integration tests: the quillon-server of this run (started by
// tools/with-server.sh, port in QUILLON_TEST_PORT), a clean request log, outbox and fault set
// before each test, the shared state back at the start of a run, and after it no poller left
// running and the program's own limits back.
#pragma once

#include "dialogs/LoginRequest.h"
#include "dialogs/OperationRequest.h"
#include "dialogs/PollCompletion.h"
#include "framework/Internet.h"
#include "net/Endpoints.h"
#include "net/Request.h"
#include "net/SharedState.h"
#include "net/Text.h"
#include "net/UrlFormat.h"
#include "tests/support/SimClient.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <future>
#include <string>
#include <string_view>
#include <vector>

// The operator's endpoints that the tests arm faults on and count requests of.
constexpr char kLoginPath[] = "/android/poslogin.php";
constexpr char kOperationPath[] = "/android/pcposmilege.php";
constexpr char kResultPath[] = "/android/pcposgetmilegeret.php";
constexpr char kDeletePath[] = "/android/deleteposdata.php";
constexpr char kTextPath[] = "/sms_client_v10/pctelmilege.php";

// Shortened limits, for rows that wait them out; the program's own are put back after every test.
constexpr InternetLimits kShort{1000, 2500, 2000};
inline const InternetLimits kProgramLimits = CurrentInternetLimits();

inline std::u16string U16(std::string_view utf8) {
    return quillon::Utf8ToUtf16(utf8);
}
inline std::string U8(std::u16string_view text) {
    return quillon::Utf16ToUtf8(text);
}

class ServerTest : public ::testing::Test {
protected:
    static constexpr char16_t kSentinel[] = u"earlier";

    void SetUp() override {
        ASSERT_NE(sim.Port(), 0) << "QUILLON_TEST_PORT is not set: run through tools/with-server.sh";
        ASSERT_TRUE(sim.Reset()) << "quillon-server does not answer /sim/reset on port " << sim.Port();
        ResetSharedState();
    }
    void TearDown() override {
        EndTransaction();
        JoinPoller();
        SetInternetLimitsForTests(kProgramLimits);
        sim.Reset();
    }

    // The exchanges since `start` ended within `limitMs` and what the clock may add (their own
    // start and end, a loaded machine); on a row of the program's own limits, not much before it.
    static void EndedWithin(std::chrono::steady_clock::time_point start, long long limitMs, bool real,
                            const char* name) {
        using namespace std::chrono;
        const long long took = duration_cast<milliseconds>(steady_clock::now() - start).count();
        EXPECT_LE(took, limitMs + 1500);
        if (real) {
            EXPECT_GE(took, limitMs - 500) << "ended before its limit: by what?";
            std::printf("%s: ended after %lld ms\n", name, took);
        }
    }

    std::u16string Url(std::string_view target) const {
        return U16("http://" + sim.HostPort()) + U16(target);
    }

    // One exchange as the program makes it, its reply laid over the field table.
    static int Send(std::u16string_view url) {
        ReplyRecord reply;
        return SendUrl(url, reply, Commit::FieldTable);
    }

    // With the demo shop, as the login dialog does.
    static bool LogIn() { return SendLogin(u"demo", u"demo") == LoginResult::Accepted; }
    // What the amount entry and the transaction dialog do before polling.
    static OperationResult StartOperation(MileageOp op, const char16_t* price) {
        SetSaleInputs(price, u"5");
        BeginTransaction();
        return SendOperation(op);
    }

    // The program's poller for the current transaction, on a thread of its own as the dialog runs it.
    void StartPoller() {
        ClearStopPolling();
        m_poller = std::async(std::launch::async, [t = g_transaction.load()] { return PollCompletion(t); });
    }
    bool Finished() const { return m_poller.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }
    int JoinPoller() { return m_poller.valid() ? m_poller.get() : -1; }

    // Every field of the table set to the sentinel, as if an earlier reply had filled them all.
    static void FillFields() {
        auto lock = LockExchange();
        for (auto& field : g_fields)
            quillon::CopyText(field, kSentinel);
    }
    static std::vector<std::u16string> Fields() {
        auto lock = LockExchange();
        std::vector<std::u16string> fields;
        for (const auto& field : g_fields)
            fields.emplace_back(quillon::View(field));
        return fields;
    }
    static std::vector<std::u16string> AllSentinel() {
        return std::vector<std::u16string>(kFieldCount, kSentinel);
    }

    SimClient sim{SimClient::PortFromEnvironment()};
    std::future<int> m_poller;
};

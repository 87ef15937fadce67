// One row of the https runs of tests/tls/run.sh, through the exchange code as the program runs it:
// this executable is built for https://localhost:PORT, and the quillon-server on that port serves
// the row's certificate (QUILLON_TLS_ROW). With the trusted one the login, a give and its
// confirmation (the run's customer confirms it) complete; with any other the login is an exchange
// that failed, and the run checks that the server received no request.
#include "dialogs/LoginRequest.h"
#include "dialogs/OperationRequest.h"
#include "dialogs/PollCompletion.h"
#include "net/Endpoints.h"
#include "net/SharedState.h"
#include "net/Text.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <future>
#include <string>

namespace {

TEST(Https, TheWholeConversationOrNothing) {
    const char* row = std::getenv("QUILLON_TLS_ROW");
    ASSERT_NE(row, nullptr) << "run through tests/tls/run.sh";
    ASSERT_EQ(quillon::Utf16ToUtf8(kDefaultSiteUrl).rfind("https://localhost:", 0), 0u);
    const LoginResult login = SendLogin(u"demo", u"demo");
    if (std::string(row) != "trusted") {
        EXPECT_EQ(login, LoginResult::Rejected) << row;
        return;
    }
    ASSERT_EQ(login, LoginResult::Accepted);
    SetSaleInputs(u"15000", u"5");
    const std::uint32_t transaction = BeginTransaction();
    ASSERT_EQ(SendOperation(Give), OperationResult::Accepted);
    {
        auto lock = LockExchange();
        EXPECT_EQ(quillon::Utf16ToUtf8(quillon::View(g_requestUrl)).rfind("https://localhost:", 0), 0u)
            << "the give left on TLS";
    }
    // The program's poller, until the run's customer confirms; a close ends it otherwise.
    ClearStopPolling();
    auto polled = std::async(std::launch::async, [transaction] { return PollCompletion(transaction); });
    if (polled.wait_for(std::chrono::seconds(20)) != std::future_status::ready)
        EndTransaction();
    EXPECT_EQ(polled.get(), 1) << "no completion of the give";
    EXPECT_EQ(g_txDone.load(), TxGiveSent);
    EXPECT_NE(quillon::View(g_fields[2]), u"") << "the result lines did not reach the table";
}

} // namespace

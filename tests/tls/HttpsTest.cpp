// One row of the https runs of tests/tls/run.sh, through the exchange code as the program runs it:
// this executable is built for https://localhost:PORT, and the quillon-server on that port serves
// the row's certificate (QUILLON_TLS_ROW). With the trusted one the login, a give and its
// confirmation (the run's customer confirms it) complete; with any other the login is an exchange
// that failed, and the run checks that the server received no request.
#include "dialogs/OperationRequest.h"
#include "net/Endpoints.h"
#include "net/Request.h"
#include "net/SharedState.h"
#include "net/Text.h"
#include "net/UrlFormat.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

std::string U8(std::u16string_view text) {
    return quillon::Utf16ToUtf8(text);
}

ReplyRecord Exchange(int (*format)()) {
    auto lock = LockExchange();
    ReplyRecord reply;
    if (format() == 1)
        SendRequest(lock, reply, Commit::Nowhere);
    return reply;
}

TEST(Https, TheWholeConversationOrNothing) {
    const char* row = std::getenv("QUILLON_TLS_ROW");
    ASSERT_NE(row, nullptr) << "run through tests/tls/run.sh";
    ASSERT_EQ(U8(kDefaultSiteUrl).rfind("https://localhost:", 0), 0u);
    ReplyRecord login;
    {
        char16_t url[kLoginUrlCapacity] = {};
        ASSERT_EQ(FormatLoginUrl(url, u"demo", u"demo"), 1);
        auto lock = LockExchange();
        quillon::CopyText(g_requestUrl, url);
        SendRequest(lock, login, Commit::Nowhere);
    }
    if (std::string(row) != "trusted") {
        EXPECT_FALSE(IsLoginAccepted(login)) << row << ": " << U8(login.Field(0));
        EXPECT_EQ(login.Field(0), u"") << row << ": a reply came through";
        return;
    }
    ASSERT_TRUE(IsLoginAccepted(login));
    StoreLoginFields(login);
    SetSaleInputs(u"15000", u"5");
    ASSERT_EQ(SendOperation(Give), OperationResult::Accepted);
    {
        auto lock = LockExchange();
        EXPECT_EQ(U8(quillon::View(g_requestUrl)).rfind("https://localhost:", 0), 0u)
            << "the give left on TLS";
    }
    // Polled the way the program polls, until the customer's confirmation is the reply.
    ReplyRecord result;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    do {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        result = Exchange(FormatGetResultUrl);
    } while (result.Field(1) != u"11" && std::chrono::steady_clock::now() < until);
    EXPECT_EQ(result.Field(1), u"11") << "no completion of the give";
    EXPECT_EQ(Exchange(FormatDeleteDataUrl).Field(0), u"1");
}

} // namespace

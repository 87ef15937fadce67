#include "net/Request.h"

#include "framework/Internet.h"
#include "net/ReplyRecord.h"
#include "net/SharedState.h"
#include "net/Text.h"

#include <cstring>
#include <string>

namespace {

// The operator's pages answer 200; any other status is a proxy's or a failing script's page.
constexpr DWORD kReplyStatus = 200;

// The network half of an exchange, on private buffers and without the lock. False when the
// request failed in any way: every caller reports a 0 in its own words, and nothing is logged.
bool Fetch(const char16_t* url, std::uint32_t transaction, std::string& body) {
    try {
        CInternetSession session(nullptr, 1, INTERNET_OPEN_TYPE_PRECONFIG);
        session.SetGiveUpCheck([transaction] { return g_transaction.load() != transaction; });
        auto file = session.OpenURL(url, 1, INTERNET_FLAG_TRANSFER_ASCII);
        DWORD status = 0;
        if (!file->QueryInfoStatusCode(status) || status != kReplyStatus)
            return false;
        // Read to the end: the internet part has collected the body whole (and caps its size).
        char chunk[4096];
        while (const UINT n = file->Read(chunk, sizeof chunk))
            body.append(chunk, n);
        file->Close();
        session.Close();
        return true;
    } catch (const CInternetException&) {
        return false;
    } catch (...) {
        // Out of memory or of threads: a failed exchange too, never an exception in a caller.
        return false;
    }
}

} // namespace

int SendRequest(std::unique_lock<std::mutex>& exchange, ReplyRecord& reply, Commit commit) {
    char16_t url[kUrlCapacity];
    std::memcpy(url, g_requestUrl, sizeof url);
    url[kUrlCapacity - 1] = 0;
    const std::uint32_t transaction = g_transaction;
    reply = ReplyRecord{};

    exchange.unlock();
    std::string body;
    const bool fetched = Fetch(url, transaction, body);
    exchange.lock();

    if (!fetched || g_transaction != transaction)
        return 0;
    const int result = ApplyReply(body, reply);
    if (commit == Commit::FieldTable)
        LayOver(reply, g_fields);
    return result;
}

int SendRequest(std::unique_lock<std::mutex>& exchange) {
    ReplyRecord reply;
    return SendRequest(exchange, reply, Commit::FieldTable);
}

int SendUrl(std::u16string_view url, ReplyRecord& reply, Commit commit) {
    auto exchange = LockExchange();
    quillon::CopyText(g_requestUrl, url);
    return SendRequest(exchange, reply, commit);
}

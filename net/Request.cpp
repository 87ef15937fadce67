#include "net/Request.h"

#include "framework/Internet.h"
#include "net/ReplyRecord.h"
#include "net/SharedState.h"

#include <cstring>
#include <string>

namespace {

// The network half of an exchange, on private buffers and without the lock. False when the
// request failed in any way: every caller reports a 0 in its own words, and nothing is logged.
bool Fetch(const char16_t* url, std::string& body) {
    try {
        CInternetSession session(nullptr, 1, INTERNET_OPEN_TYPE_PRECONFIG);
        auto file = session.OpenURL(url, 1, INTERNET_FLAG_TRANSFER_ASCII);
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

int SendRequest(std::unique_lock<std::mutex>& exchange, char16_t (&fields)[kFieldCount][kFieldCapacity]) {
    char16_t url[kUrlCapacity];
    std::memcpy(url, g_requestUrl, sizeof url);
    url[kUrlCapacity - 1] = 0;
    const std::uint32_t transaction = g_transaction;

    exchange.unlock();
    std::string body;
    const bool fetched = Fetch(url, body);
    exchange.lock();

    if (!fetched || g_transaction != transaction)
        return 0;
    return ApplyReply(body, fields);
}

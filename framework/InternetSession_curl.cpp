// libcurl backend of CInternetSession, for the native build. The whole transfer runs inside
// OpenURL on the calling thread; libcurl's own overall time-out is the exchange's deadline, so
// nothing here needs a thread of its own, and a transfer that has ended has closed its socket: a
// connect that libcurl gave up on can never complete later. The give-up check is asked right
// before the request is written (the pre-request callback) and while the transfer waits.
#include "framework/Internet.h"

#include "framework/InternetShared.h"
#include "framework/Utf.h"

#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <limits>
#include <mutex>

namespace {

void GlobalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct Collector {
    std::string body;
    bool full = false;
    const std::function<bool()>* givenUp = nullptr;
    bool GivenUp() const { return givenUp && *givenUp && (*givenUp)(); }
};

// Called once the connection is up, before a byte of the request is written.
int BeforeTheRequest(void* user, char*, char*, int, int) {
    return static_cast<Collector*>(user)->GivenUp() ? CURL_PREREQFUNC_ABORT : CURL_PREREQFUNC_OK;
}

// Called while the transfer runs (about once a second when nothing moves): nonzero ends it.
int WhileWaiting(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<Collector*>(user)->GivenUp() ? 1 : 0;
}

size_t Collect(char* data, size_t size, size_t count, void* user) {
    auto* collector = static_cast<Collector*>(user);
    const size_t bytes = size * count;
    const size_t room = internet_detail::kMaxCollected - collector->body.size();
    collector->body.append(data, std::min(bytes, room));
    if (bytes > room) {
        collector->full = true;
        return 0; // ends the transfer; what was collected is the body
    }
    return bytes;
}

// Exchanges that libcurl ended because a limit ran out or the caller gave up. Such an exchange has
// closed its socket before OpenURL returns: it holds nothing afterwards.
std::atomic<unsigned long> g_givenUp{0};

} // namespace

GivenUpExchanges CountGivenUpExchanges() { return {g_givenUp.load(), 0, 0, 0}; }

DWORD ConnectionsPerServerLimit() { return std::numeric_limits<DWORD>::max(); }

struct CInternetSession::Impl {
    CURL* curl = nullptr;
    std::function<bool()> givenUp;
};

CInternetSession::CInternetSession(const char16_t*, DWORD, DWORD) : m_impl(std::make_unique<Impl>()) {
    GlobalInit();
    m_impl->curl = curl_easy_init();
    if (!m_impl->curl)
        throw CInternetException(1, "curl_easy_init failed");
}

CInternetSession::~CInternetSession() { Close(); }

void CInternetSession::Close() {
    if (m_impl && m_impl->curl) {
        curl_easy_cleanup(m_impl->curl);
        m_impl->curl = nullptr;
    }
}

void CInternetSession::SetGiveUpCheck(std::function<bool()> givenUp) { m_impl->givenUp = std::move(givenUp); }

std::unique_ptr<CInternetFile> CInternetSession::OpenURL(const char16_t* url, DWORD, DWORD) {
    CURL* curl = m_impl->curl;
    if (!curl)
        throw CInternetException(1, "session closed");
    const std::string utf8Url = quillon::Utf16ToUtf8(url ? std::u16string_view(url) : u"");
    const InternetLimits limits = CurrentInternetLimits();
    Collector collector;
    collector.givenUp = &m_impl->givenUp;
    if (collector.GivenUp())
        throw CInternetException(CURLE_ABORTED_BY_CALLBACK, "given up before it started");
    curl_slist* headers = curl_slist_append(nullptr, "Pragma: no-cache");
    headers = curl_slist_append(headers, "Cache-Control: no-cache");

    curl_easy_reset(curl);
    curl_easy_setopt(curl, CURLOPT_URL, utf8Url.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
    // A request on https never goes on in clear, not even by a redirect; the certificate is
    // checked against the system's bundle, name included (libcurl's defaults, set here so that
    // no later change drops them).
    const bool secure = utf8Url.rfind("https://", 0) == 0;
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, secure ? "https" : "http,https");
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, InternetTimeouts::kMaxRedirects);
    curl_easy_setopt(curl, CURLOPT_PROXY, ""); // never a proxy from http_proxy and friends
    curl_easy_setopt(curl, CURLOPT_FORBID_REUSE, 1L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(limits.connectMs));
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(limits.exchangeMs));
    // A transfer that moves no byte for the stall time ends as WinInet's socket time-outs end it.
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, static_cast<long>(std::max<DWORD>(1, limits.stallMs / 1000)));
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &collector);
    curl_easy_setopt(curl, CURLOPT_PREREQFUNCTION, BeforeTheRequest);
    curl_easy_setopt(curl, CURLOPT_PREREQDATA, &collector);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, WhileWaiting);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &collector);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);

    const CURLcode code = curl_easy_perform(curl);
    curl_slist_free_all(headers);
    if (code == CURLE_OPERATION_TIMEDOUT || code == CURLE_ABORTED_BY_CALLBACK)
        ++g_givenUp;
    if (code != CURLE_OK && !(code == CURLE_WRITE_ERROR && collector.full))
        throw CInternetException(static_cast<DWORD>(code), curl_easy_strerror(code));
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    return internet_detail::MakeCollectedFile(std::move(collector.body), static_cast<DWORD>(status));
}

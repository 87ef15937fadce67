// libcurl backend of CInternetSession, for the native build. The whole transfer runs inside
// OpenURL on the calling thread; libcurl's own overall time-out is the exchange's deadline, so
// nothing here needs a thread of its own.
#include "framework/Internet.h"

#include "framework/InternetShared.h"
#include "framework/Utf.h"

#include <curl/curl.h>

#include <algorithm>
#include <mutex>

namespace {

void GlobalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct Collector {
    std::string body;
    bool full = false;
};

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

} // namespace

struct CInternetSession::Impl {
    CURL* curl = nullptr;
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

std::unique_ptr<CInternetFile> CInternetSession::OpenURL(const char16_t* url, DWORD, DWORD) {
    CURL* curl = m_impl->curl;
    if (!curl)
        throw CInternetException(1, "session closed");
    const std::string utf8Url = quillon::Utf16ToUtf8(url ? std::u16string_view(url) : u"");
    const InternetLimits limits = CurrentInternetLimits();
    Collector collector;
    curl_slist* headers = curl_slist_append(nullptr, "Pragma: no-cache");
    headers = curl_slist_append(headers, "Cache-Control: no-cache");

    curl_easy_reset(curl);
    curl_easy_setopt(curl, CURLOPT_URL, utf8Url.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
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

    const CURLcode code = curl_easy_perform(curl);
    curl_slist_free_all(headers);
    if (code != CURLE_OK && !(code == CURLE_WRITE_ERROR && collector.full))
        throw CInternetException(static_cast<DWORD>(code), curl_easy_strerror(code));
    return internet_detail::MakeCollectedFile(std::move(collector.body));
}

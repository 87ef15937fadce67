// libcurl transport of SimClient, for the native test builds.
#include "tests/support/SimClient.h"

#include <curl/curl.h>

#include <mutex>

namespace {

size_t Collect(char* data, size_t size, size_t count, void* user) {
    static_cast<std::string*>(user)->append(data, size * count);
    return size * count;
}

} // namespace

SimReply SimClient::Exchange(const char* method, std::string_view target, std::string_view body) const {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });

    SimReply reply;
    CURL* curl = curl_easy_init();
    if (!curl)
        return reply;
    const std::string url = "http://" + HostPort() + std::string(target);
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_PROXY, "");
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, 5000L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, 30000L);
    if (std::string_view(method) == "POST") {
        curl_easy_setopt(curl, CURLOPT_POST, 1L);
        // Never a null pointer: curl would then read the body from stdin.
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.empty() ? "" : body.data());
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    }
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &reply.body);
    if (curl_easy_perform(curl) == CURLE_OK) {
        long status = 0;
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
        reply.status = static_cast<int>(status);
    } else {
        reply.body.clear();
    }
    curl_easy_cleanup(curl);
    return reply;
}

// The framework's internet part: CInternetSession, the file object that OpenURL returns, and
// CInternetException. One HTTP GET per OpenURL; Windows runs it over WinInet, the native build
// over libcurl, and both behave alike: the whole exchange (connect, request, status line, headers,
// body to its end) happens inside OpenURL and ends within the limits below whatever the server
// does; the file object then hands out the collected body and the final HTTP status (the caller
// judges it). A request that its caller has given up on (its deadline, or the session's give-up
// check) is never written afterwards, even when the connection comes up late. Nothing is cached, redirects are followed (at most 5), every GET has a connection of its own,
// closed after it (a request is never sent twice). WinInet takes the system's proxy setting when
// the session asks for INTERNET_OPEN_TYPE_PRECONFIG; libcurl (native tests only) never uses a proxy.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#ifdef _WIN32
#include <windows.h>
#include <wininet.h>
#else
using DWORD = std::uint32_t;
using UINT = unsigned int;
inline constexpr DWORD INTERNET_OPEN_TYPE_PRECONFIG = 0;
inline constexpr DWORD INTERNET_OPEN_TYPE_DIRECT = 1;
inline constexpr DWORD INTERNET_FLAG_TRANSFER_ASCII = 1;
#endif

// One place for every network limit of the program (milliseconds).
namespace InternetTimeouts {
// The connection is made within kConnectMs; the whole exchange, from OpenURL's start to its
// return, takes at most kExchangeMs, also against a server that sends a byte at a time.
inline constexpr DWORD kConnectMs = 10000;
inline constexpr DWORD kExchangeMs = 30000;
// A socket that moves nothing for this long gives up before the exchange's deadline.
inline constexpr DWORD kStallMs = 20000;
inline constexpr long kMaxRedirects = 5;
} // namespace InternetTimeouts

// The limits in force: the constants above unless a test build shortened them.
struct InternetLimits {
    DWORD connectMs;
    DWORD exchangeMs;
    DWORD stallMs;
};
InternetLimits CurrentInternetLimits();
// For test executables only (the program never calls it): shorter limits keep fault suites fast.
void SetInternetLimitsForTests(InternetLimits limits);

class CInternetException {
public:
    CInternetException(DWORD error, std::string message) : m_dwError(error), m_message(std::move(message)) {}
    DWORD m_dwError;
    const std::string& GetErrorMessage() const { return m_message; }

private:
    std::string m_message;
};

// The response of one GET, already received whole. Read returns the next bytes of the body, 0 at
// its end.
class CInternetFile {
public:
    virtual ~CInternetFile() = default;
    virtual UINT Read(void* buffer, UINT count) = 0;
    virtual void Close() = 0;
    // The HTTP status of the final response (after redirects).
    virtual bool QueryInfoStatusCode(DWORD& status) const = 0;
};

class CInternetSession {
public:
    // Agent name none, context 1 and flags 0 are all the program ever passes.
    explicit CInternetSession(const char16_t* agent = nullptr, DWORD context = 1,
                              DWORD accessType = INTERNET_OPEN_TYPE_PRECONFIG);
    ~CInternetSession();
    CInternetSession(const CInternetSession&) = delete;
    CInternetSession& operator=(const CInternetSession&) = delete;

    // Sends a GET for `url`, reads the response to its end and returns the body's file object.
    // Throws CInternetException when the URL cannot be opened (bad URL, name resolution,
    // connection), when the transfer fails midway, and when the limits above run out.
    std::unique_ptr<CInternetFile> OpenURL(const char16_t* url, DWORD context = 1,
                                           DWORD flags = INTERNET_FLAG_TRANSFER_ASCII);
    void Close();

    // Asked while OpenURL runs, from any thread and without a lock: true once the caller no
    // longer wants the exchange (its transaction has ended). OpenURL then ends as a failed one at
    // once, and its request, if not yet written, never is. It must only read atomics.
    void SetGiveUpCheck(std::function<bool()> givenUp);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

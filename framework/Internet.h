// The framework's internet part: CInternetSession, the file object that OpenURL returns, and
// CInternetException. One HTTP GET per OpenURL; Windows runs it over WinInet, the native build
// over libcurl, and both behave alike: the whole exchange (connect, request, status line, headers,
// body to its end) happens inside OpenURL and ends within the limits below whatever the server
// does; the file object then hands out the collected body and the final HTTP status (the caller
// judges it). Nothing is cached; redirects are followed, never from https to http: libcurl at
// most 5 (kMaxRedirects), WinInet as WinInet itself decides (no limit is set there). Every GET
// has a connection of its own, closed after it (a request is never sent twice). WinInet takes the
// system's proxy setting when the session asks for INTERNET_OPEN_TYPE_PRECONFIG; libcurl (native
// tests only) never uses a proxy.
//
// A request that its caller has given up on (a limit ran out, or the session's give-up check
// turned) is never written afterwards, even when the connection comes up late. OpenURL returns at
// once; what the transfer still holds depends on where it was. libcurl closes the socket at once,
// in every window. Windows' WinInet:
// - given up before "connected": the thread and connection are freed when the late connection
//   comes up (the call is cancelled in that notice) or the connect fails;
// - between "connected" and "sending" (an https handshake, a proxy's CONNECT): the transfer stops
//   at "sending", before the write, and stays parked with its thread and connection until the
//   program ends;
// - after the write: the thread and connection are freed when the call in progress returns (the
//   answer, or the socket time-outs).
// Wine's WinInet writes whatever the cancel did, so there a transfer given up before "sending"
// always parks, from before "connected" too. WinInet's connection limits per server and per proxy
// are kept above what parked transfers hold.
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

// What the exchanges given up on (a limit ran out, or the caller's give-up check turned) still
// hold, counted since the program started: for tests and benchmarks, from any thread.
struct GivenUpExchanges {
    unsigned long givenUp;     // exchanges given up on
    unsigned long threads;     // of those, transfers whose thread still runs (the parked included)
    unsigned long connections; // of those, transfers still holding a connection to their server
    unsigned long parked;      // stopped for good before their request was written
};
GivenUpExchanges CountGivenUpExchanges();
// The fewest connections per server that the platform lets the process hold at once (WinInet's
// limits for HTTP/1.1 and HTTP/1.0 servers); the largest DWORD where the backend has no limit.
DWORD ConnectionsPerServerLimit();

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

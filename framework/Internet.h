// The framework's internet part: CInternetSession, the file object that OpenURL returns, and
// CInternetException. One HTTP GET per OpenURL; Windows runs it over WinInet, the native build
// over libcurl, and both behave alike: the body is read to its end, the HTTP status is not
// examined, nothing is cached, redirects are followed (at most 5), no proxy is taken from the
// environment, every GET has a connection of its own, closed after it (a request is never sent
// twice), and the time-outs below hold on both.
#pragma once

#include <cstddef>
#include <cstdint>
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

// One place for every network time-out of the program (milliseconds).
namespace InternetTimeouts {
inline constexpr DWORD kConnectMs = 10000;
inline constexpr DWORD kSendMs = 20000;
inline constexpr DWORD kReceiveMs = 20000;
inline constexpr long kMaxRedirects = 5;
} // namespace InternetTimeouts

class CInternetException {
public:
    CInternetException(DWORD error, std::string message) : m_dwError(error), m_message(std::move(message)) {}
    DWORD m_dwError;
    const std::string& GetErrorMessage() const { return m_message; }

private:
    std::string m_message;
};

// The response of one GET. Read returns the next bytes of the body, 0 at its end, and throws
// CInternetException when the transfer fails midway.
class CInternetFile {
public:
    virtual ~CInternetFile() = default;
    virtual UINT Read(void* buffer, UINT count) = 0;
    virtual void Close() = 0;
};

class CInternetSession {
public:
    // Agent name none, context 1 and flags 0 are all the program ever passes.
    explicit CInternetSession(const char16_t* agent = nullptr, DWORD context = 1,
                              DWORD accessType = INTERNET_OPEN_TYPE_DIRECT);
    ~CInternetSession();
    CInternetSession(const CInternetSession&) = delete;
    CInternetSession& operator=(const CInternetSession&) = delete;

    // Sends a GET for `url` and returns the response body's file object. Throws
    // CInternetException when the URL cannot be opened (bad URL, name resolution, connection,
    // time-out).
    std::unique_ptr<CInternetFile> OpenURL(const char16_t* url, DWORD context = 1,
                                           DWORD flags = INTERNET_FLAG_TRANSFER_ASCII);
    void Close();

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

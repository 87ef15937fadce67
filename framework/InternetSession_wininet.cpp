// WinInet backend of CInternetSession, for Quillon.exe. InternetOpenUrlW is not used: under Wine
// it ignores every time-out option, so a server that never answers would block the caller for
// good. InternetConnectW + HttpOpenRequestW + HttpSendRequestW honour them.
#include "framework/Internet.h"

#include <string>

namespace {

class InternetHandle {
public:
    InternetHandle() = default;
    explicit InternetHandle(HINTERNET handle) : m_handle(handle) {}
    ~InternetHandle() { Reset(); }
    InternetHandle(const InternetHandle&) = delete;
    InternetHandle& operator=(const InternetHandle&) = delete;
    InternetHandle(InternetHandle&& other) noexcept : m_handle(other.m_handle) { other.m_handle = nullptr; }
    InternetHandle& operator=(InternetHandle&& other) noexcept {
        if (this != &other) {
            Reset();
            m_handle = other.m_handle;
            other.m_handle = nullptr;
        }
        return *this;
    }
    HINTERNET get() const { return m_handle; }
    explicit operator bool() const { return m_handle != nullptr; }
    void Reset() {
        if (m_handle)
            InternetCloseHandle(m_handle);
        m_handle = nullptr;
    }

private:
    HINTERNET m_handle = nullptr;
};

[[noreturn]] void ThrowLastError(const char* what) {
    const DWORD error = GetLastError();
    throw CInternetException(error, std::string(what) + " failed, error " + std::to_string(error));
}

void SetTimeouts(HINTERNET handle) {
    DWORD connect = InternetTimeouts::kConnectMs;
    DWORD send = InternetTimeouts::kSendMs;
    DWORD receive = InternetTimeouts::kReceiveMs;
    InternetSetOptionW(handle, INTERNET_OPTION_CONNECT_TIMEOUT, &connect, sizeof connect);
    InternetSetOptionW(handle, INTERNET_OPTION_SEND_TIMEOUT, &send, sizeof send);
    InternetSetOptionW(handle, INTERNET_OPTION_RECEIVE_TIMEOUT, &receive, sizeof receive);
    InternetSetOptionW(handle, INTERNET_OPTION_DATA_SEND_TIMEOUT, &send, sizeof send);
    InternetSetOptionW(handle, INTERNET_OPTION_DATA_RECEIVE_TIMEOUT, &receive, sizeof receive);
}

class WinInetFile final : public CInternetFile {
public:
    WinInetFile(InternetHandle connection, InternetHandle request)
        : m_connection(std::move(connection)), m_request(std::move(request)) {
        DWORD size = sizeof m_announced;
        m_lengthKnown = HttpQueryInfoW(m_request.get(), HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER,
                                       &m_announced, &size, nullptr) != FALSE;
    }
    UINT Read(void* buffer, UINT count) override {
        DWORD read = 0;
        if (!InternetReadFile(m_request.get(), buffer, count, &read))
            ThrowLastError("InternetReadFile");
        m_received += read;
        // Wine's WinInet reports a connection closed before the announced length as a normal
        // end of the body; a short body is a failed read, as it is over libcurl.
        if (read == 0 && count > 0 && m_lengthKnown && m_received < m_announced)
            throw CInternetException(ERROR_INTERNET_CONNECTION_RESET,
                                     "connection closed before the end of the body");
        return read;
    }
    void Close() override {
        m_request.Reset();
        m_connection.Reset();
    }

private:
    InternetHandle m_connection;
    InternetHandle m_request;
    DWORD m_announced = 0;
    bool m_lengthKnown = false;
    unsigned long long m_received = 0;
};

} // namespace

struct CInternetSession::Impl {
    InternetHandle session;
};

CInternetSession::CInternetSession(const char16_t* agent, DWORD context, DWORD accessType)
    : m_impl(std::make_unique<Impl>()) {
    (void)context;
    m_impl->session = InternetHandle(
        InternetOpenW(reinterpret_cast<const wchar_t*>(agent), accessType, nullptr, nullptr, 0));
    if (!m_impl->session)
        ThrowLastError("InternetOpenW");
    SetTimeouts(m_impl->session.get());
}

CInternetSession::~CInternetSession() { Close(); }

void CInternetSession::Close() {
    if (m_impl)
        m_impl->session.Reset();
}

std::unique_ptr<CInternetFile> CInternetSession::OpenURL(const char16_t* url, DWORD context, DWORD flags) {
    (void)flags;
    const auto* wideUrl = reinterpret_cast<const wchar_t*>(url);
    wchar_t host[256] = {};
    wchar_t path[2048] = {};
    wchar_t extra[2048] = {};
    URL_COMPONENTSW parts = {};
    parts.dwStructSize = sizeof parts;
    parts.lpszHostName = host;
    parts.dwHostNameLength = ARRAYSIZE(host);
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = ARRAYSIZE(path);
    parts.lpszExtraInfo = extra;
    parts.dwExtraInfoLength = ARRAYSIZE(extra);
    if (!InternetCrackUrlW(wideUrl, 0, 0, &parts))
        ThrowLastError("InternetCrackUrlW");
    if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS)
        throw CInternetException(ERROR_INTERNET_UNRECOGNIZED_SCHEME, "only http and https");
    if (host[0] == 0)
        throw CInternetException(ERROR_INTERNET_INVALID_URL, "no host in the URL");

    InternetHandle connection(InternetConnectW(m_impl->session.get(), host, parts.nPort, nullptr, nullptr,
                                               INTERNET_SERVICE_HTTP, 0, context));
    if (!connection)
        ThrowLastError("InternetConnectW");
    SetTimeouts(connection.get());

    std::wstring target = std::wstring(path[0] ? path : L"/") + extra;
    DWORD requestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE |
                         INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_UI;
    if (parts.nScheme == INTERNET_SCHEME_HTTPS)
        requestFlags |= INTERNET_FLAG_SECURE;
    InternetHandle request(
        HttpOpenRequestW(connection.get(), L"GET", target.c_str(), nullptr, nullptr, nullptr, requestFlags, context));
    if (!request)
        ThrowLastError("HttpOpenRequestW");
    SetTimeouts(request.get());
    // WinInet keeps connections in a pool of the whole process, across sessions, and silently
    // sends a request again when a reused connection ends without an answer: a give or a paid
    // text message would go out twice. A connection used once and closed is never reused.
    if (!HttpSendRequestW(request.get(), L"Connection: close\r\n", static_cast<DWORD>(-1), nullptr, 0))
        ThrowLastError("HttpSendRequestW");
    // A connection that ended without a status line is no reply at all, not an empty body
    // (Wine's WinInet reports it as a success).
    DWORD status = 0;
    DWORD size = sizeof status;
    const DWORD query = HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER;
    if (!HttpQueryInfoW(request.get(), query, &status, &size, nullptr) || status == 0)
        throw CInternetException(ERROR_HTTP_INVALID_SERVER_RESPONSE, "no answer on the connection");
    return std::make_unique<WinInetFile>(std::move(connection), std::move(request));
}

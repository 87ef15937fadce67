// WinInet transport of SimClient, for the tests cross-built for Windows and run under Wine.
#include "tests/support/SimClient.h"

#include <windows.h>
#include <wininet.h>

#include <memory>
#include <type_traits>

namespace {

struct InternetCloser {
    void operator()(HINTERNET handle) const { InternetCloseHandle(handle); }
};
using InternetHandle = std::unique_ptr<std::remove_pointer_t<HINTERNET>, InternetCloser>;

std::wstring Widen(std::string_view ascii) {
    return std::wstring(ascii.begin(), ascii.end());
}

void SetTimeouts(HINTERNET handle) {
    DWORD connect = 5000, transfer = 30000;
    InternetSetOptionW(handle, INTERNET_OPTION_CONNECT_TIMEOUT, &connect, sizeof connect);
    InternetSetOptionW(handle, INTERNET_OPTION_SEND_TIMEOUT, &transfer, sizeof transfer);
    InternetSetOptionW(handle, INTERNET_OPTION_RECEIVE_TIMEOUT, &transfer, sizeof transfer);
}

} // namespace

SimReply SimClient::Exchange(const char* method, std::string_view target, std::string_view body) const {
    SimReply reply;
    InternetHandle session(InternetOpenW(L"quillon-tests", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    if (!session)
        return reply;
    SetTimeouts(session.get());
    InternetHandle connection(InternetConnectW(session.get(), L"127.0.0.1",
                                               static_cast<INTERNET_PORT>(m_port), nullptr, nullptr,
                                               INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection)
        return reply;
    SetTimeouts(connection.get());
    const DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE |
                        INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_UI;
    InternetHandle request(HttpOpenRequestW(connection.get(), Widen(method).c_str(), Widen(target).c_str(),
                                            nullptr, nullptr, nullptr, flags, 0));
    if (!request)
        return reply;
    SetTimeouts(request.get());
    // One connection per call: none is left in WinInet's process-wide pool for the code under
    // test to pick up, so what that code does with its connections is its own.
    static const wchar_t kHeaders[] = L"Content-Type: application/octet-stream\r\nConnection: close\r\n";
    if (!HttpSendRequestW(request.get(), kHeaders, static_cast<DWORD>(-1L), const_cast<char*>(body.data()),
                          static_cast<DWORD>(body.size())))
        return reply;
    DWORD status = 0, size = sizeof status;
    if (!HttpQueryInfoW(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                        nullptr))
        return reply;
    char chunk[4096];
    DWORD read = 0;
    while (InternetReadFile(request.get(), chunk, sizeof chunk, &read) && read > 0)
        reply.body.append(chunk, read);
    reply.status = static_cast<int>(status);
    return reply;
}

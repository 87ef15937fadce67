// WinInet backend of CInternetSession, for Quillon.exe.
//
// InternetOpenUrlW is not used: under Wine it ignores every time-out option. InternetConnectW +
// HttpOpenRequestW + HttpSendRequestW honour the connect and socket time-outs, but those bound
// each socket call, not the exchange: a server that sends a byte every few seconds keeps a call
// going for minutes. So each GET runs on a thread of its own (the transfer) and the caller waits
// for it until the exchange's deadline, then gives up on it. The transfer owns every handle it
// opens and is the only thread that ever uses or closes one: a handle closed from another thread
// under a running call may be handed to the next exchange (and under Wine such a close does not
// end the call anyway). It checks the deadline between its own calls, and shares with the caller
// nothing but the heap block below.
//
// A request the caller has given up on must never be written: a give or a paid text message
// that went out after the till reported it as failed would be booked behind the cashier's back.
// A connect that the caller stopped waiting for may still complete (the kernel's SYN retries go
// on). So the transfer asks at WinInet's last notices before the request is written (connected,
// sending), on its own thread: the gate. When the caller has given up by then, the transfer
// cancels the call the way WinInet documents as safe: it closes the request's handle from within
// the notice for that very handle. Windows then fails the send, and the thread ends and frees the
// connection at once. Should WinInet still go on towards the write (the "sending" notice comes
// after the cancel), the transfer parks there for good, so the request is never written. A
// transfer given up between the two notices (an https handshake, a proxy's CONNECT) meets the gate
// only at "sending", and parks there on Windows too.
// Wine's WinInet does exactly that (measured with Wine 8.0): it ignores the close and writes, so
// under Wine every transfer given up on at the gate stays parked with one idle thread and one
// silent connection until the program ends. That comes only of a connect answered after its limit
// or of a close during a connect; the connection limits per server and per proxy are raised above
// what such transfers hold, so the next exchange always finds a connection free.
#include "framework/Internet.h"

#include "framework/InternetShared.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

class InternetHandle {
public:
    InternetHandle() = default;
    explicit InternetHandle(HINTERNET handle) : m_handle(handle) {}
    ~InternetHandle() { Reset(); }
    InternetHandle(const InternetHandle&) = delete;
    InternetHandle& operator=(const InternetHandle&) = delete;
    HINTERNET get() const { return m_handle; }
    explicit operator bool() const { return m_handle != nullptr; }
    void Forget() { m_handle = nullptr; }
    // Takes `handle` (nullptr when its open failed), closing what it held.
    void Adopt(HINTERNET handle) {
        Reset();
        m_handle = handle;
    }
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

void SetTimeouts(HINTERNET handle, const InternetLimits& limits) {
    DWORD connect = limits.connectMs;
    DWORD send = limits.stallMs;
    DWORD receive = limits.stallMs;
    InternetSetOptionW(handle, INTERNET_OPTION_CONNECT_TIMEOUT, &connect, sizeof connect);
    InternetSetOptionW(handle, INTERNET_OPTION_SEND_TIMEOUT, &send, sizeof send);
    InternetSetOptionW(handle, INTERNET_OPTION_RECEIVE_TIMEOUT, &receive, sizeof receive);
    InternetSetOptionW(handle, INTERNET_OPTION_DATA_SEND_TIMEOUT, &send, sizeof send);
    InternetSetOptionW(handle, INTERNET_OPTION_DATA_RECEIVE_TIMEOUT, &receive, sizeof receive);
}

// What the transfers given up on still hold, process-wide; changed only under a transfer's lock.
std::atomic<unsigned long> g_givenUp{0};
std::atomic<unsigned long> g_threadsHeld{0};
std::atomic<unsigned long> g_connectionsHeld{0};
std::atomic<unsigned long> g_parked{0};

// Shared by the caller of OpenURL and its transfer thread; whichever lets go last frees it.
struct Transfer {
    std::wstring url;
    DWORD accessType = INTERNET_OPEN_TYPE_PRECONFIG;
    InternetLimits limits{};
    Clock::time_point deadline;
    std::function<bool()> givenUp;      // the session's give-up check; may be empty
    std::atomic<bool> abandoned{false}; // the caller has stopped waiting
    std::atomic<bool> connected{false}; // the server accepted the connection

    // The transfer thread's own: the request handle the gate may cancel, and whether it did (the
    // handle's value is then never used again, by anyone).
    HINTERNET request = nullptr;
    bool requestClosed = false;

    std::mutex lock; // guards abandoned's setting against the gate below, the outcome and the counts
    std::condition_variable finished;
    bool done = false;
    DWORD status = 0; // written by the transfer before it reports done
    std::string body;
    DWORD error = 0;
    std::string message;
};

void CheckTime(const Transfer& transfer) {
    if (transfer.abandoned || Clock::now() >= transfer.deadline)
        throw CInternetException(ERROR_INTERNET_TIMEOUT, "the exchange ran out of time");
}

bool GivenUp(const Transfer& transfer) { return transfer.givenUp && transfer.givenUp(); }

// The caller stops waiting, under the transfer's lock: from now on its request is never written,
// and whatever the transfer still holds is counted until it ends.
void Abandon(Transfer& transfer) {
    transfer.abandoned = true;
    ++g_givenUp;
    if (!transfer.done) {
        ++g_threadsHeld;
        if (transfer.connected)
            ++g_connectionsHeld;
    }
}

[[noreturn]] void Park(Transfer& transfer) {
    {
        std::lock_guard<std::mutex> hold(transfer.lock);
        ++g_parked;
    }
    for (;;)
        Sleep(INFINITE);
}

// The gate before the request is written, on the transfer thread inside WinInet's notice for
// `handle`: either the caller still wants the exchange, and from now on its request counts as
// sent while it was wanted, or the call is cancelled (and parked, if WinInet goes on regardless).
void AtTheGate(Transfer& transfer, HINTERNET handle, DWORD status) {
    {
        std::lock_guard<std::mutex> hold(transfer.lock);
        if (status == INTERNET_STATUS_CONNECTED_TO_SERVER && !transfer.connected) {
            transfer.connected = true;
            if (transfer.abandoned)
                ++g_connectionsHeld;
        }
        if (!transfer.abandoned && !GivenUp(transfer))
            return; // from now on the request counts as sent while it was wanted
    }
    // Outside the lock: the close may bring WinInet's closing notice back into this callback.
    const bool cancellable = handle == transfer.request && !transfer.requestClosed;
    if (cancellable) {
        transfer.requestClosed = true;
        InternetCloseHandle(handle);
    }
    // The "sending" notice comes right before the write: returning from it would let the request
    // out whatever the close did. From "connected", the platform still has to honour the cancel.
    if (!cancellable || status == INTERNET_STATUS_SENDING_REQUEST)
        Park(transfer);
}

// WinInet's status notices, on the transfer thread (the handles are synchronous). The connect
// limit is kept by the caller from the connected notice: Wine's WinInet takes no connect time-out.
void CALLBACK OnStatus(HINTERNET handle, DWORD_PTR context, DWORD status, LPVOID, DWORD) {
    if (!context ||
        (status != INTERNET_STATUS_CONNECTED_TO_SERVER && status != INTERNET_STATUS_SENDING_REQUEST))
        return;
    auto* transfer = reinterpret_cast<Transfer*>(context);
    AtTheGate(*transfer, handle, status);
    if (status == INTERNET_STATUS_CONNECTED_TO_SERVER)
        transfer->finished.notify_all();
}

// The handles of one GET, the transfer's alone; closed request first, session last.
struct GetHandles {
    InternetHandle session;
    InternetHandle connection;
    InternetHandle request;
};

// Open: a session with the transfer's limits and status notices, a connection to the URL's host
// and the GET's request handle. Nothing goes on the wire yet.
void OpenGet(Transfer& transfer, GetHandles& get) {
    get.session.Adopt(InternetOpenW(nullptr, transfer.accessType, nullptr, nullptr, 0));
    if (!get.session)
        ThrowLastError("InternetOpenW");
    SetTimeouts(get.session.get(), transfer.limits);
    InternetSetStatusCallbackW(get.session.get(), OnStatus);
    // The notices find their transfer by the handles' context.
    const auto context = reinterpret_cast<DWORD_PTR>(&transfer);

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
    if (!InternetCrackUrlW(transfer.url.c_str(), 0, 0, &parts))
        ThrowLastError("InternetCrackUrlW");
    if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS)
        throw CInternetException(ERROR_INTERNET_UNRECOGNIZED_SCHEME, "only http and https");
    if (host[0] == 0)
        throw CInternetException(ERROR_INTERNET_INVALID_URL, "no host in the URL");

    get.connection.Adopt(InternetConnectW(get.session.get(), host, parts.nPort, nullptr, nullptr,
                                          INTERNET_SERVICE_HTTP, 0, context));
    if (!get.connection)
        ThrowLastError("InternetConnectW");
    SetTimeouts(get.connection.get(), transfer.limits);

    std::wstring target = std::wstring(path[0] ? path : L"/") + extra;
    DWORD requestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE |
                         INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_UI;
    // None of the INTERNET_FLAG_IGNORE_* flags: a certificate WinInet does not trust (chain,
    // name, dates, revocation) or a redirect from https to http fails the exchange.
    if (parts.nScheme == INTERNET_SCHEME_HTTPS)
        requestFlags |= INTERNET_FLAG_SECURE;
    get.request.Adopt(HttpOpenRequestW(get.connection.get(), L"GET", target.c_str(), nullptr, nullptr,
                                       nullptr, requestFlags, context));
    if (!get.request)
        ThrowLastError("HttpOpenRequestW");
    SetTimeouts(get.request.get(), transfer.limits);
    transfer.request = get.request.get();
}

// Send: connects and writes the request, unless the gate cancels it first, and takes the reply's
// status line and headers. Returns the announced body length, if any.
std::optional<DWORD> SendGet(Transfer& transfer, GetHandles& get) {
    // WinInet keeps connections in a pool of the whole process, across sessions, and silently
    // sends a request again when a reused connection ends without an answer: a give or a paid
    // text message would go out twice. A connection used once and closed is never reused.
    const BOOL sent =
        HttpSendRequestW(get.request.get(), L"Connection: close\r\n", static_cast<DWORD>(-1), nullptr, 0);
    if (transfer.requestClosed) {
        get.request.Forget(); // closed by the gate's cancel: its value may be another handle's by now
        throw CInternetException(ERROR_INTERNET_OPERATION_CANCELLED, "given up before the request was written");
    }
    if (!sent)
        ThrowLastError("HttpSendRequestW");
    CheckTime(transfer);
    // A connection that ended without a status line is no reply at all, not an empty body
    // (Wine's WinInet reports it as a success).
    DWORD status = 0;
    DWORD size = sizeof status;
    const DWORD query = HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER;
    if (!HttpQueryInfoW(get.request.get(), query, &status, &size, nullptr) || status == 0)
        throw CInternetException(ERROR_HTTP_INVALID_SERVER_RESPONSE, "no answer on the connection");
    transfer.status = status;
    DWORD announced = 0;
    size = sizeof announced;
    if (!HttpQueryInfoW(get.request.get(), HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &announced,
                        &size, nullptr))
        return std::nullopt;
    return announced;
}

// Read: the body to its end (or to what the caller keeps), within the deadline.
std::string ReadBody(const Transfer& transfer, HINTERNET request, std::optional<DWORD> announced) {
    std::string body;
    char chunk[4096];
    while (body.size() < internet_detail::kMaxCollected) {
        CheckTime(transfer);
        DWORD read = 0;
        if (!InternetReadFile(request, chunk, sizeof chunk, &read))
            ThrowLastError("InternetReadFile");
        if (read == 0) {
            // Wine's WinInet reports a connection closed before the announced length as a normal
            // end of the body; a short body is a failed read, as it is over libcurl.
            if (announced && body.size() < *announced)
                throw CInternetException(ERROR_INTERNET_CONNECTION_RESET,
                                         "connection closed before the end of the body");
            break;
        }
        body.append(chunk, std::min<std::size_t>(read, internet_detail::kMaxCollected - body.size()));
    }
    return body;
}

// The GET itself, on the transfer thread.
std::string Fetch(Transfer& transfer) {
    GetHandles get;
    OpenGet(transfer, get);
    const std::optional<DWORD> announced = SendGet(transfer, get);
    return ReadBody(transfer, get.request.get(), announced);
}

// The transfer thread's procedure: no exception leaves it.
void RunTransfer(const std::shared_ptr<Transfer>& transfer) {
    std::string body;
    DWORD error = 0;
    std::string message;
    try {
        body = Fetch(*transfer);
    } catch (const CInternetException& failure) {
        error = failure.m_dwError ? failure.m_dwError : ERROR_INTERNET_INTERNAL_ERROR;
        message = failure.GetErrorMessage();
    } catch (...) {
        error = ERROR_INTERNET_INTERNAL_ERROR;
        message = "the transfer failed";
    }
    {
        std::lock_guard<std::mutex> hold(transfer->lock);
        transfer->body = std::move(body);
        transfer->error = error;
        transfer->message = std::move(message);
        transfer->done = true;
        if (transfer->abandoned) {
            --g_threadsHeld;
            if (transfer->connected)
                --g_connectionsHeld;
        }
    }
    transfer->finished.notify_all();
}

// WinInet's connection limits per server, read with a NULL handle: process-wide.
DWORD ConnectionLimit(DWORD option) {
    DWORD limit = 0;
    DWORD size = sizeof limit;
    return InternetQueryOptionW(nullptr, option, &limit, &size) ? limit : 0;
}

// Per HTTP/1.1 server, per HTTP/1.0 server, and per proxy: a till behind the system's proxy holds
// all its connections to that one proxy, whatever the server.
constexpr DWORD kLimitOptions[] = {INTERNET_OPTION_MAX_CONNS_PER_SERVER,
                                   INTERNET_OPTION_MAX_CONNS_PER_1_0_SERVER,
                                   INTERNET_OPTION_MAX_CONNS_PER_PROXY};

// Windows lets a process hold a few connections per server (6 on a broadband line since IE 8, 2
// on a dial-up one) and per proxy (4) and makes a request beyond them wait. A connection held by a
// transfer given up on counts against that, so each exchange first lifts the limits above what
// such transfers may hold, one connection each, by the broadband number; it never lowers them.
void KeepConnectionsFree() {
    constexpr unsigned long kFree = 6;
    static std::mutex lock; // two exchanges at once must not write a lower figure over a higher one
    std::lock_guard<std::mutex> hold(lock);
    DWORD wanted = static_cast<DWORD>(g_threadsHeld.load() + kFree);
    for (const DWORD option : kLimitOptions)
        if (ConnectionLimit(option) < wanted)
            InternetSetOptionW(nullptr, option, &wanted, sizeof wanted);
}

} // namespace

GivenUpExchanges CountGivenUpExchanges() {
    return {g_givenUp.load(), g_threadsHeld.load(), g_connectionsHeld.load(), g_parked.load()};
}

DWORD ConnectionsPerServerLimit() {
    return std::min(ConnectionLimit(kLimitOptions[0]), ConnectionLimit(kLimitOptions[1]));
}

struct CInternetSession::Impl {
    DWORD accessType = INTERNET_OPEN_TYPE_PRECONFIG;
    bool open = true;
    std::function<bool()> givenUp;
};

CInternetSession::CInternetSession(const char16_t*, DWORD, DWORD accessType) : m_impl(std::make_unique<Impl>()) {
    m_impl->accessType = accessType;
}

CInternetSession::~CInternetSession() { Close(); }

void CInternetSession::Close() {
    if (m_impl)
        m_impl->open = false;
}

void CInternetSession::SetGiveUpCheck(std::function<bool()> givenUp) { m_impl->givenUp = std::move(givenUp); }

std::unique_ptr<CInternetFile> CInternetSession::OpenURL(const char16_t* url, DWORD, DWORD) {
    if (!m_impl->open)
        throw CInternetException(ERROR_INTERNET_INCORRECT_HANDLE_STATE, "session closed");
    auto transfer = std::make_shared<Transfer>();
    transfer->url = reinterpret_cast<const wchar_t*>(url ? url : u"");
    transfer->accessType = m_impl->accessType;
    transfer->limits = CurrentInternetLimits();
    transfer->deadline = Clock::now() + std::chrono::milliseconds(transfer->limits.exchangeMs);
    transfer->givenUp = m_impl->givenUp;
    if (GivenUp(*transfer))
        throw CInternetException(ERROR_INTERNET_OPERATION_CANCELLED, "given up before it started");
    KeepConnectionsFree();
    try {
        std::thread(RunTransfer, transfer).detach();
    } catch (const std::system_error&) {
        throw CInternetException(ERROR_NOT_ENOUGH_MEMORY, "no thread for the transfer");
    }
    std::unique_lock<std::mutex> hold(transfer->lock);
    // Waits for `until` up to `limit`, looking at the give-up check between short slices (the
    // check's own changes notify nobody). False when the limit passed or the caller gave up.
    const auto waitFor = [&](Clock::time_point limit, auto until) {
        constexpr auto kSlice = std::chrono::milliseconds(50);
        while (!until()) {
            if (GivenUp(*transfer) || Clock::now() >= limit)
                return false;
            transfer->finished.wait_until(hold, std::min(limit, Clock::now() + kSlice));
        }
        return true;
    };
    const auto connectDeadline =
        std::min(transfer->deadline, Clock::now() + std::chrono::milliseconds(transfer->limits.connectMs));
    const bool finished = waitFor(connectDeadline, [&] { return transfer->done || transfer->connected.load(); }) &&
                          waitFor(transfer->deadline, [&] { return transfer->done; });
    // A transfer the gate cancelled has ended as one given up on, whether or not the caller saw
    // its give-up check turn first.
    if (!finished || transfer->requestClosed) {
        // Under the lock the gate takes: a request not written by now never is. The transfer
        // ends on its own later, at its next check or by its socket time-outs, or parks.
        Abandon(*transfer);
        throw CInternetException(ERROR_INTERNET_TIMEOUT, "no reply within the exchange's deadline");
    }
    if (transfer->error != 0)
        throw CInternetException(transfer->error, transfer->message);
    return internet_detail::MakeCollectedFile(std::move(transfer->body), transfer->status);
}

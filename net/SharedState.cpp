#include "net/SharedState.h"

#include "net/Text.h"

#include <chrono>
#include <condition_variable>
#include <cstring>

char16_t g_requestUrl[kUrlCapacity];
char16_t g_fields[kFieldCount][kFieldCapacity];
char16_t g_serverHost[kTextCapacity];
char16_t g_deviceId[kTextCapacity];
char16_t g_mileageRate[kTextCapacity];
char16_t g_price[kTextCapacity];

std::atomic<std::int32_t> g_operation{0};
std::atomic<std::int32_t> g_txState{0};
std::atomic<std::int32_t> g_txDone{0};
std::atomic<std::int32_t> g_stopPolling{0};
std::atomic<std::int32_t> g_coinPoints{0};
std::atomic<std::uint32_t> g_transaction{0};
std::atomic<bool> g_txConfirmed{false};

namespace {

// Never destroyed: a poller abandoned in the network may come back while the process exits.
std::mutex& ExchangeMutex() {
    static auto* mutex = new std::mutex;
    return *mutex;
}

// Guards nothing but the wake-up of a pausing poller; the flag itself is the atomic. Never
// destroyed, like the exchange lock.
std::mutex& g_stopMutex = *new std::mutex;
std::condition_variable& g_stopRaised = *new std::condition_variable;

} // namespace

void StoreLoginFields(const ReplyRecord& login) {
    quillon::CopyText(g_deviceId, login.Field(1));
    quillon::CopyText(g_mileageRate, login.Field(4));
    quillon::CopyText(g_serverHost, login.Field(5));
}

int SetSaleInputs(const char16_t* amount, const char16_t* rate) {
    quillon::CopyText(g_price, quillon::View(amount));
    quillon::CopyText(g_mileageRate, quillon::View(rate));
    return 0;
}

std::unique_lock<std::mutex> LockExchange() { return std::unique_lock<std::mutex>(ExchangeMutex()); }

std::uint32_t BeginTransaction() {
    auto lock = LockExchange();
    std::memset(g_fields, 0, sizeof g_fields);
    g_txState = 0;
    g_txDone = 0;
    g_txConfirmed = false;
    return ++g_transaction;
}

void EndTransaction() {
    auto lock = LockExchange();
    // State before done: a poller that commits later sees no transaction to record.
    g_txState = 0;
    g_txDone = 0;
    g_txConfirmed = false;
    ++g_transaction;
    RaiseStopPolling();
}

void RaiseStopPolling() {
    {
        std::lock_guard<std::mutex> lock(g_stopMutex);
        g_stopPolling = 1;
    }
    g_stopRaised.notify_all();
}

void ClearStopPolling() {
    std::lock_guard<std::mutex> lock(g_stopMutex);
    g_stopPolling = 0;
}

bool WaitForStopPolling(int milliseconds) {
    std::unique_lock<std::mutex> lock(g_stopMutex);
    return g_stopRaised.wait_for(lock, std::chrono::milliseconds(milliseconds),
                                 [] { return g_stopPolling.load() == 1; });
}

void ResetSharedState() {
    auto lock = LockExchange();
    std::memset(g_requestUrl, 0, sizeof g_requestUrl);
    std::memset(g_fields, 0, sizeof g_fields);
    std::memset(g_serverHost, 0, sizeof g_serverHost);
    std::memset(g_deviceId, 0, sizeof g_deviceId);
    std::memset(g_mileageRate, 0, sizeof g_mileageRate);
    std::memset(g_price, 0, sizeof g_price);
    g_operation = 0;
    g_txState = 0;
    g_txDone = 0;
    g_stopPolling = 0;
    g_coinPoints = 0;
    g_txConfirmed = false;
    ++g_transaction;
}

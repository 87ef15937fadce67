// The process-wide state that the dialogs and the completion poller share. Texts are
// zero-terminated UTF-16 buffers whose capacities count UTF-16 units, terminator included.
//
// Threads: the UI thread and, while a transaction waits for the customer, the completion poller.
// - The integers are atomics: either thread may read them at any time.
// - g_requestUrl and g_fields belong to whoever holds the exchange lock (LockExchange): one
//   exchange formats its URL, sends it, splits the reply and reads the fields it needs without
//   another exchange coming in between.
// - g_serverHost, g_deviceId, g_mileageRate and g_price are written on the UI thread only while no
//   poller runs (login, amount entry) and read by the poller after it has been started.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

inline constexpr int kUrlCapacity = 500;
inline constexpr int kFieldCount = 30;
inline constexpr int kFieldCapacity = 100;
inline constexpr int kTextCapacity = 100;

extern char16_t g_requestUrl[kUrlCapacity];
extern char16_t g_fields[kFieldCount][kFieldCapacity];
extern char16_t g_serverHost[kTextCapacity];
extern char16_t g_deviceId[kTextCapacity];
extern char16_t g_mileageRate[kTextCapacity];
extern char16_t g_price[kTextCapacity];

extern std::atomic<std::int32_t> g_operation;   // a MileageOp, 0 before the first choice
extern std::atomic<std::int32_t> g_txState;     // a TxState: 0, 3, 7 or 9
extern std::atomic<std::int32_t> g_txDone;      // 0 or the g_txState the poller ended with
extern std::atomic<std::int32_t> g_stopPolling; // 1 asks the poller to stop
extern std::atomic<std::int32_t> g_coinPoints;  // coin balance of the last successful give

// Copies login reply fields 1, 4 and 5 into g_deviceId, g_mileageRate and g_serverHost.
// The caller holds the exchange lock (the fields come from the login exchange).
void StoreLoginFields();

// Stores the amount and rate texts typed in the amount-entry dialog. Returns 0.
int SetSaleInputs(const char16_t* amount, const char16_t* rate);

// The lock that keeps one exchange (format, send, split, read) whole.
[[nodiscard]] std::unique_lock<std::mutex> LockExchange();

// Stop flag of the completion poller. Raising it also cuts a pause of the poller short.
void RaiseStopPolling();
void ClearStopPolling();
// Waits up to `milliseconds` for the stop flag; returns true when it is raised.
bool WaitForStopPolling(int milliseconds);

// Back to the start-of-run state (every text empty, every integer 0). For tests.
void ResetSharedState();

// The process-wide state that the dialogs and the completion poller share. Texts are
// zero-terminated UTF-16 buffers whose capacities count UTF-16 units, terminator included.
//
// Threads: the UI thread and completion pollers. At most one poller belongs to the transaction in
// progress; pollers of closed transactions may still be blocked in the network, and they must
// change nothing.
// - No lock is ever held across network I/O. An exchange takes the exchange lock (LockExchange),
//   formats its URL into g_requestUrl from the shared state, and SendRequest copies it, lets the
//   lock go for the network I/O on private buffers, and takes it again to commit: the reply is
//   split into g_fields only while the exchange's transaction (g_transaction) is still the current
//   one. Whatever the exchange reads of the reply it reads before it lets go of the lock again.
// - So a close never waits on the network: EndTransaction takes the lock for a few stores, moves
//   g_transaction on, raises the stop flag and returns. A poller coming back from a stalled
//   exchange finds its transaction gone and ends without touching anything; what it posts to a
//   window carries its transaction, so a later dialog drops it.
// - Every exchange ends within the deadline of the framework's internet part (connect 10 s, the
//   whole exchange 30 s), whatever the server does.
// - The integers are atomics and may be read at any time; g_txState, g_txDone, g_transaction and
//   g_txConfirmed are written under the exchange lock once a poller may run.
// - g_serverHost, g_deviceId, g_mileageRate and g_price are written on the UI thread only while no
//   poller of the current transaction runs (login, amount entry); pollers read them under the lock.
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

// The transaction in progress, as exchanges see it: EndTransaction moves it on.
extern std::atomic<std::uint32_t> g_transaction;
// The poller has seen the customer's confirmation of the current transaction (set before its
// delete-data exchange, ahead of g_txDone): from then on no text message goes out for it.
extern std::atomic<bool> g_txConfirmed;

// Copies login reply fields 1, 4 and 5 into g_deviceId, g_mileageRate and g_serverHost.
// The caller holds the exchange lock (the fields come from the login exchange).
void StoreLoginFields();

// Stores the amount and rate texts typed in the amount-entry dialog. Returns 0.
int SetSaleInputs(const char16_t* amount, const char16_t* rate);

// The lock of the shared state's commit steps: formatting a URL, splitting a reply, reading its
// fields, changing the transaction. Never held across network I/O (SendRequest lets it go).
[[nodiscard]] std::unique_lock<std::mutex> LockExchange();

// Ends the transaction in progress, however the dialog closes: g_txState = 0, g_txDone = 0, a new
// g_transaction, the stop flag raised. Takes the exchange lock for a moment; never waits on the
// network. The caller does not hold the lock.
void EndTransaction();

// Stop flag of the completion poller. Raising it also cuts a pause of the poller short.
void RaiseStopPolling();
void ClearStopPolling();
// Waits up to `milliseconds` for the stop flag; returns true when it is raised.
bool WaitForStopPolling(int milliseconds);

// Back to the start-of-run state (every text empty, every integer 0). For tests.
void ResetSharedState();

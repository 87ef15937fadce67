// The process-wide state that the dialogs and the completion poller share. Texts are
// zero-terminated UTF-16 buffers whose capacities count UTF-16 units, terminator included.
//
// What a reply may decide:
// - Every exchange splits its reply into a ReplyRecord of its own (net/Request.h), and every
//   decision reads only that record: the login's acceptance and host, an operation's acceptance
//   and a give's coins, the poller's completion code, a text message's outcome. A field the reply
//   did not reach is empty for that decision.
// - Only an answer with HTTP status 200 is a reply at all; an error page of a proxy or of a
//   failing script is a failed exchange, whatever its body says.
// - g_fields is what the result screens paint, and nothing else reads it. BeginTransaction empties
//   it; each get-result and delete-data reply of the current transaction is laid over it at its
//   commit (fields it reached rewritten, the others kept), so the result screen shows the
//   completing get-result lines with the delete-data reply laid over them. No reply of another
//   transaction, of the login or of a text message ever reaches it.
//
// Threads: the UI thread and completion pollers. At most one poller belongs to the transaction in
// progress; pollers of closed transactions may still be blocked in the network, and they must
// change nothing.
// - No lock is ever held across network I/O. An exchange takes the exchange lock (LockExchange),
//   formats its URL into g_requestUrl from the shared state, and SendRequest copies it, lets the
//   lock go for the network I/O on private buffers, and takes it again to commit: only while the
//   exchange's transaction (g_transaction) is still the current one does its reply count, and
//   the decision made on it and the change to the shared state happen in that one commit step.
// - A request the till has given up on never goes out afterwards: the internet part writes no
//   request once its exchange's deadline has passed or its transaction has ended.
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

#include "net/ReplyRecord.h"

inline constexpr int kUrlCapacity = 500;
inline constexpr int kFieldCount = kReplyFieldCount;
inline constexpr int kFieldCapacity = kReplyFieldCapacity;
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

// Copies fields 1, 4 and 5 of the login's own reply into g_deviceId, g_mileageRate and
// g_serverHost. The caller holds the exchange lock.
void StoreLoginFields(const ReplyRecord& login);

// Stores the amount and rate texts typed in the amount-entry dialog. Returns 0.
int SetSaleInputs(const char16_t* amount, const char16_t* rate);

// The lock of the shared state's commit steps: formatting a URL, splitting a reply, reading its
// fields, changing the transaction. Never held across network I/O (SendRequest lets it go).
[[nodiscard]] std::unique_lock<std::mutex> LockExchange();

// Starts a transaction: a new g_transaction, an empty field table, no state, no completion, no
// confirmation. Returns its number. Takes the exchange lock; the caller does not hold it.
std::uint32_t BeginTransaction();

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

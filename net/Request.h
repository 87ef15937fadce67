// The one request routine. Every exchange with the operator's server is: take the exchange lock,
// format the endpoint's URL into g_requestUrl, SendRequest(lock, reply), decide on the exchange's
// own reply, let go. SendRequest itself lets the lock go while it waits on the network.
#pragma once

#include <mutex>
#include <string_view>

#include "net/ReplyRecord.h"
#include "net/SharedState.h"

// Where a reply goes once it counts, besides the caller's own record.
enum class Commit {
    FieldTable, // laid over g_fields: the get-result and delete-data replies the screens paint
    Nowhere,    // read by its caller alone: login, operation, text message
};

// Sends a GET for g_requestUrl, reads the body to its end and splits the reply record into
// `reply`. `exchange` holds the exchange lock on entry and again on return; in between it is
// released for the network I/O, so another exchange may commit meanwhile. The reply counts only
// while the transaction current at entry (g_transaction) is still the current one; then, in the
// same step, it is laid over g_fields when `commit` says so.
// Returns 1 when the reply counted and field 0 does not begin with '0' (an empty reply
// included); 0 when the request failed (open, read, deadline, or an HTTP status other than 200),
// the server refused, or the transaction ended meanwhile. After a failure `reply` is empty
// (count 0) and g_fields unchanged. Returns within the internet part's exchange deadline, and
// as soon as the transaction ends; a request not yet written by then is never written.
int SendRequest(std::unique_lock<std::mutex>& exchange, ReplyRecord& reply, Commit commit);

// An exchange whose reply only the screens read (delete-data): laid over g_fields.
int SendRequest(std::unique_lock<std::mutex>& exchange);

// The login's exchange, whose URL is formatted into a buffer of its own: takes the exchange lock,
// puts `url` into g_requestUrl and sends it, as SendRequest above.
int SendUrl(std::u16string_view url, ReplyRecord& reply, Commit commit);

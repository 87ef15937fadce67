// The one request routine. Every exchange with the operator's server is: take the exchange lock,
// format the endpoint's URL into g_requestUrl, SendRequest(lock), read the reply fields it needs,
// let go. SendRequest itself lets the lock go while it waits on the network.
#pragma once

#include <mutex>

#include "net/SharedState.h"

// Sends a GET for g_requestUrl, reads the body to its end and splits the reply record into
// g_fields. `exchange` holds the exchange lock on entry and again on return; in between it is
// released for the network I/O, so another exchange may commit meanwhile. The reply is committed
// only while the transaction current at entry (g_transaction) is still the current one.
// Returns 1 when the reply was committed and field 0 does not begin with '0' (an empty reply
// included); 0 when the request failed (open, read or deadline; g_fields is then unchanged),
// the server refused, or the transaction ended meanwhile (g_fields unchanged too). Returns within
// the internet part's exchange deadline.
//
// `fields` is the table the reply is split into: g_fields, except for an exchange whose reply
// nobody reads that may land while the poller assembles a result screen there (the text message).
int SendRequest(std::unique_lock<std::mutex>& exchange, char16_t (&fields)[kFieldCount][kFieldCapacity] = g_fields);

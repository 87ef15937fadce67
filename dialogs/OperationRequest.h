// The request of a give, pay or cancel, free of any window so that it runs natively (and under
// ThreadSanitizer) exactly as the transaction dialog runs it. Runs on the UI thread, before the
// transaction's poller starts.
#pragma once

#include <cstdint>

enum class OperationResult {
    Accepted, // the server took it: g_txState says so, and for a give g_coinPoints holds its coins
    Failed,   // no connection, an error page or a refusal: nothing changed
    TooLong,  // the URL does not fit; nothing was sent
};

// Sends the request of `operation` (a MileageOp) from the shared state. Its acceptance and a
// give's coin balance come from this reply alone (a reply without field 1 gives 0 coins).
OperationResult SendOperation(std::int32_t operation);

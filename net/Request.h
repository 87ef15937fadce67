// The one request routine. Every exchange with the operator's server is: take the exchange lock,
// format the endpoint's URL into g_requestUrl, SendRequest, read the reply fields it needs, let go.
#pragma once

// Sends a GET for g_requestUrl, reads the body to its end and splits the reply record into
// g_fields. Returns 1 when the reply was read and field 0 does not begin with '0' (an empty reply
// included), 0 when the request failed (open or read; g_fields is then unchanged) or the server
// refused. The caller holds the exchange lock (LockExchange). Blocks for at most the time-outs of
// the framework's internet part.
int SendRequest();

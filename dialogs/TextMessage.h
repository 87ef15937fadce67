// The text-message exchange of a give's waiting screen, free of any window so that its race with
// the completion poller is tested natively. Runs on the UI thread.
#pragma once

#include <cstdint>

enum class TextMessageResult {
    Sent,      // the server accepted it; the poller has been told to stop
    Failed,    // no connection, an error page or a refusal; polling goes on
    TooLong,   // the URL does not fit; nothing was sent
    Confirmed, // the customer's confirmation came first; nothing was sent
};

// Sends the text message for `phone` with `markTag`, unless the customer's confirmation of the
// current transaction has been committed (g_txConfirmed or g_txDone): that check is made under the
// exchange lock, where no completion can slip in between it and the formatting of the URL. Its
// outcome is its own reply's; that reply is not laid over g_fields (the result lines may be
// arriving there).
TextMessageResult SendTextMessage(const char16_t* phone, std::int32_t markTag);

#include "dialogs/TextMessage.h"

#include "net/Endpoints.h"
#include "net/Request.h"
#include "net/SharedState.h"

TextMessageResult SendTextMessage(const char16_t* phone, std::int32_t markTag) {
    auto exchange = LockExchange();
    if (g_txDone != 0 || g_txConfirmed)
        return TextMessageResult::Confirmed;
    if (!FormatTextMessageUrl(phone, markTag))
        return TextMessageResult::TooLong;
    // Its reply stays its own: a confirmation committed while it was under way has its result
    // lines in g_fields, and they must stay there.
    ReplyRecord reply;
    if (SendRequest(exchange, reply, Commit::Nowhere) != 1)
        return TextMessageResult::Failed;
    // Raised at the commit, so the poller records the give as done at its next step. Only a sent
    // message stops it: after a failed one the customer can still confirm in the app.
    RaiseStopPolling();
    return TextMessageResult::Sent;
}

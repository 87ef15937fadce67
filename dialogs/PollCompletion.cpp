#include "dialogs/PollCompletion.h"

#include "net/Endpoints.h"
#include "net/Request.h"
#include "net/SharedState.h"

#include <string_view>

namespace {

enum class PollOutcome { Pending, Recorded, Abandoned };

// One poll: get-result and, on the completion code, delete-data. The lock is held only for the
// commit steps; SendRequest lets it go for the network.
PollOutcome PollOnce(std::uint32_t transaction) {
    auto exchange = LockExchange();
    if (g_transaction != transaction)
        return PollOutcome::Abandoned;
    if (g_stopPolling == 1) {
        g_txDone = g_txState.load(); // a sent text message: the give counts as done
        return PollOutcome::Recorded;
    }
    if (!FormatGetResultUrl())
        return PollOutcome::Pending;
    ReplyRecord reply;
    const int accepted = SendRequest(exchange, reply, Commit::FieldTable);
    if (g_transaction != transaction)
        return PollOutcome::Abandoned;
    const char16_t* code = CompletionCodeFor(g_txState);
    if (!accepted || !code || reply.Field(1) != code)
        return PollOutcome::Pending;
    // Confirmed: from here no text message goes out, even before the result screen shows.
    g_txConfirmed = true;
    if (FormatDeleteDataUrl())
        SendRequest(exchange); // its reply is laid over the result lines; its result is not needed
    if (g_transaction != transaction)
        return PollOutcome::Abandoned;
    // Last, so the result screen that switches on it finds this exchange's lines in the table.
    g_txDone = g_txState.load();
    return PollOutcome::Recorded;
}

} // namespace

int PollCompletion(std::uint32_t transaction) {
    while (true) {
        const PollOutcome outcome = PollOnce(transaction);
        if (outcome != PollOutcome::Pending)
            return outcome == PollOutcome::Recorded ? 1 : 0;
        // A raised flag cuts the pause short; the next PollOnce tells whose stop it was.
        WaitForStopPolling(kPollPauseMs);
    }
}

#include "dialogs/PollCompletion.h"

#include "net/Endpoints.h"
#include "net/Request.h"
#include "net/SharedState.h"

#include <string_view>

namespace {

enum class PollOutcome { Pending, Completed, Stopped };

// One locked exchange: get-result and, on completion, delete-data, so that the result lines the
// screen reads are this exchange's, never interleaved with a text message.
PollOutcome PollOnce() {
    auto lock = LockExchange();
    if (g_stopPolling == 1)
        return PollOutcome::Stopped;
    if (!FormatGetResultUrl() || SendRequest() != 1)
        return PollOutcome::Pending;
    const char16_t* code = CompletionCodeFor(g_txState);
    if (!code || std::u16string_view(g_fields[1]) != code)
        return PollOutcome::Pending;
    if (FormatDeleteDataUrl())
        SendRequest(); // its reply is laid over the result lines; its result is not needed
    g_txDone = g_txState.load();
    return PollOutcome::Completed;
}

} // namespace

int PollCompletion() {
    while (true) {
        const PollOutcome outcome = PollOnce();
        if (outcome == PollOutcome::Completed)
            return 1;
        if (outcome == PollOutcome::Stopped || WaitForStopPolling(kPollPauseMs)) {
            // Closing cleared g_txState first, so this records 0; a sent text message leaves 3.
            g_txDone = g_txState.load();
            return 1;
        }
    }
}

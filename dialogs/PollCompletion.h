// The completion poller's work, free of any window so that it also runs natively (and under
// ThreadSanitizer). It runs on the poller thread that the transaction dialog starts.
#pragma once

#include <cstdint>

// Pause after each exchange that brings no completion.
inline constexpr int kPollPauseMs = 300;

// Polls get-result for `transaction` until reply field 1 holds the completion code of g_txState,
// then sends delete-data and records g_txDone = g_txState; or, once g_stopPolling is raised (a
// sent text message), records g_txDone = g_txState without completing. Returns 1 when it
// recorded g_txDone. Returns 0, having changed nothing, as soon as it finds that its transaction
// has ended (the dialog closed): a poll still in flight then is dropped on its return. The stop
// flag is cleared by the starter before the thread starts.
int PollCompletion(std::uint32_t transaction);

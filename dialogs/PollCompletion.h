// The completion poller's work, free of any window so that it also runs natively (and under
// ThreadSanitizer). It runs on the poller thread that the transaction dialog starts.
#pragma once

// Pause after each exchange that brings no completion.
inline constexpr int kPollPauseMs = 300;

// Polls get-result until reply field 1 holds the completion code of g_txState, then sends
// delete-data and records g_txDone = g_txState; or, once g_stopPolling is raised, records
// g_txDone = g_txState without completing. The stop flag is cleared by the starter before the
// thread starts. Every poll formats its own get-result URL inside the exchange lock and checks the
// stop flag again once it holds the lock, so it never sends another exchange's URL. Returns 1.
int PollCompletion();

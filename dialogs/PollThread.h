// The completion poller's thread (Windows): runs PollCompletion for one transaction and tells the
// transaction dialog when it recorded a completion. It touches no window object: it posts.
#pragma once

#include <windows.h>

#include <cstdint>

// Posted to the dialog once the poller has recorded a completion in g_txDone; WPARAM is the
// poller's transaction, so a dialog whose transaction has moved on drops it.
inline constexpr UINT WM_POLL_DONE = WM_APP + 1;

// Clears the stop flag and starts the poller of `transaction` for `dialog`. The thread owns
// itself and ends on its own; nobody waits for it. False when no thread could be started.
bool StartPollThread(HWND dialog, std::uint32_t transaction);

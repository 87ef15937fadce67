#include "dialogs/PollThread.h"

#include "dialogs/PollCompletion.h"
#include "framework/Thread.h"
#include "net/SharedState.h"

#include <memory>

namespace {

// What the thread is given; the thread owns and deletes it.
struct PollJob {
    HWND dialog;
    std::uint32_t transaction;
};

// No exception leaves it: a poll that throws is a failed exchange, and the transaction waits
// until it is closed.
UINT PollThreadProc(LPVOID param) {
    const std::unique_ptr<PollJob> job(static_cast<PollJob*>(param));
    try {
        if (PollCompletion(job->transaction) == 1)
            ::PostMessageW(job->dialog, WM_POLL_DONE, job->transaction, 0);
    } catch (...) {
    }
    return 1;
}

} // namespace

bool StartPollThread(HWND dialog, std::uint32_t transaction) {
    auto job = std::make_unique<PollJob>(PollJob{dialog, transaction});
    // Cleared here, before the thread exists, so a stop raised at once is never lost.
    ClearStopPolling();
    if (!AfxBeginThread(PollThreadProc, job.get()))
        return false;
    job.release(); // the thread's now
    return true;
}

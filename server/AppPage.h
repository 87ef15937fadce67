// The /app page: the customer's phone app in a browser. It lists the operations waiting for a
// customer and posts a confirmation for one of them, as the chosen customer, to /sim/confirm.
#pragma once

#include "server/Ledger.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

// When each till last asked for its operation's result (get-result), so that the /app page can
// tell the operations a cashier is still waiting on from those of tills that stopped polling
// long ago (a program that was killed leaves its operation open in the books). In memory only:
// the books do not change. Written by the server's request threads, read by /app. Thread-safe.
// Bounded: the server records only tills the books know, and a till quiet for longer than
// kWaitingMs is forgotten, as it no longer counts as waiting.
class TillActivity {
public:
    // A till polls every 300 ms while it waits; one that was quiet this long has gone.
    static constexpr std::int64_t kWaitingMs = 5000;

    void Polled(const std::string& deviceId, std::int64_t nowMs);
    // Waiting: opened or polled within kWaitingMs before `nowMs` (all Unix milliseconds).
    bool Waiting(const Ledger::PendingOperation& op, std::int64_t nowMs) const;

private:
    mutable std::mutex m_lock;
    std::map<std::string, std::int64_t> m_lastPollMs;
    std::int64_t m_lastSweepMs = 0;
};

class AppPage {
public:
    // `notice` is the outcome of the last confirmation (empty for none). The operations that
    // `tills` finds waiting at `nowMs` get a confirm button; the abandoned ones are listed apart.
    static std::string Render(const std::vector<Ledger::PendingOperation>& pending,
                              const std::vector<Ledger::Customer>& customers, const std::string& notice,
                              const TillActivity& tills, std::int64_t nowMs);
    static std::string Escape(const std::string& text);
    // Percent-encodes everything but unreserved characters, for a URL query value.
    static std::string EncodeQueryValue(const std::string& text);
};

// The simulation's side of the server, served only with --simulate: the customer's /app page and
// the /sim/* API that tests use to confirm operations, change shops, read the request log and the
// text-message outbox, arm faults and blackhole the port. It adds its rows to the Routes table and
// follows the tills' polls for the /app page.
//
// Threads: its rows run on request threads. /sim/blackhole starts a watcher thread that lifts the
// blackhole when it is due; Stop() joins it.
#pragma once

#include "server/AppPage.h"
#include "server/Books.h"
#include "server/FaultTable.h"
#include "server/RequestLog.h"
#include "server/Routes.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

class SimulationApi {
public:
    // Turns the dropping of connects to the listening port on or off; false when the port takes
    // no socket filter.
    using DropConnects = std::function<bool(bool on)>;

    // `stopping` is the server's: the blackhole's watcher ends when it turns true.
    SimulationApi(Books& books, FaultTable& faults, RequestLog& requests, DropConnects dropConnects,
                  const std::atomic<bool>& stopping);
    ~SimulationApi();
    SimulationApi(const SimulationApi&) = delete;
    SimulationApi& operator=(const SimulationApi&) = delete;

    void AddTo(Routes& routes);
    // Waits for the blackhole's watcher, once `stopping` is true and no request can start it again.
    void Stop();

private:
    Routes::Reply Confirm(const Routes::Call& call);
    Routes::Reply App(const Routes::Call& call);
    Routes::Reply SetShop(const Routes::Call& call);
    Routes::Reply Blackhole(const Routes::Call& call);

    Books& m_books;
    FaultTable& m_faults;
    RequestLog& m_requests;
    const DropConnects m_dropConnects;
    const std::atomic<bool>& m_stopping;
    TillActivity m_tills;
    std::mutex m_blackholeLock; // guards the two below
    std::optional<std::chrono::steady_clock::time_point> m_blackholeUntil;
    std::thread m_blackholeWatcher;
};

// Faults armed on endpoint paths through /sim/fault, read by every request to that path.
// Thread-safe.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "server/QueryString.h"

struct Fault {
    enum class Mode { Delay, Hang, Reset, Slow, Trickle, Body, Status, Refuse, Redirect };
    Mode mode = Mode::Delay;
    std::int64_t ms = 0;    // delay, slow, trickle
    std::int64_t after = 0; // reset: body bytes sent before the connection is closed
    std::int64_t chunk = 0; // slow (the body), trickle (the whole answer): bytes per piece
    int status = 200;       // status, body, redirect
    std::string body;       // body: the bytes answered instead of the record; redirect: the Location
};

class FaultTable {
public:
    // Arms (or with mode=off disarms) the fault that `query` describes, `body` being the bytes
    // posted with it. Answers the reply record for /sim/fault.
    std::string Arm(const QueryString& query, const std::string& body);
    std::optional<Fault> Find(const std::string& path) const;
    void Clear();

private:
    mutable std::mutex m_lock;
    std::map<std::string, Fault> m_faults;
};

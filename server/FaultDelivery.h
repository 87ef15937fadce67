// Delivers a till endpoint's reply as the fault armed on its path has it reach the till: later,
// never, cut, in pieces, or with another status or body. The books have already answered; a fault
// changes only what reaches the till. Acts on the request's own connection, which it gets from
// the HTTP layer (ConnectionSocket::Serving()).
//
// Threads: runs on the request's thread and holds only that connection; a delay, hang or slow
// body ends early when `stopping` turns true.
#pragma once

#include "server/FaultTable.h"

#include <atomic>
#include <string>

namespace httplib {
struct Response;
} // namespace httplib

class FaultDelivery {
public:
    FaultDelivery(const FaultTable& faults, const std::atomic<bool>& stopping)
        : m_faults(faults), m_stopping(stopping) {}

    // Fills `res` with `body`, the reply record for `path`, as the fault armed on `path` delivers it.
    void Deliver(const std::string& path, std::string body, httplib::Response& res) const;
    // Whether an empty answer for `path` is the fault's own (a body fault's empty page), which
    // the HTTP layer must leave empty.
    bool EmptyOnPurpose(const std::string& path) const;

private:
    const FaultTable& m_faults;
    const std::atomic<bool>& m_stopping;
};

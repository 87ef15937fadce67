#include "server/FaultDelivery.h"

#include "server/ConnectionSocket.h"
#include "server/Routes.h"

#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <memory>

bool FaultDelivery::EmptyOnPurpose(const std::string& path) const {
    const auto fault = m_faults.Find(path);
    return fault && fault->mode == Fault::Mode::Body;
}

namespace {

using Wait = ConnectionSocket::WaitResult;

// What every mode is given: the fault, the record the books answered, the reply to fill, and the
// server's stopping flag, which ends a wait early.
struct Delivery {
    const Fault& fault;
    std::string body;
    httplib::Response& res;
    const std::atomic<bool>& stopping;
};

void Normally(Delivery& d) {
    d.res.set_content(d.body, Routes::kRecordType);
}

void Delay(Delivery& d) {
    const auto socket = ConnectionSocket::Serving();
    if (socket.Wait(std::chrono::milliseconds(d.fault.ms), d.stopping) != Wait::Elapsed)
        socket.Cut();
    Normally(d);
}

void Hang(Delivery& d) {
    const auto socket = ConnectionSocket::Serving();
    socket.Wait(std::chrono::milliseconds(-1), d.stopping);
    // Cut before returning, so that what httplib then writes reaches nobody.
    socket.Cut();
    Normally(d);
}

// A server that went down while the request was on its way: the connection ends without a byte
// of an answer, the way a crashed or restarting server's socket does.
void Refuse(Delivery& d) {
    ConnectionSocket::Serving().Cut();
    Normally(d);
}

void Reset(Delivery& d) {
    const auto socket = ConnectionSocket::Serving();
    const auto after = static_cast<std::size_t>(d.fault.after);
    auto shared = std::make_shared<std::string>(std::move(d.body));
    d.res.set_content_provider(
        shared->size(), Routes::kRecordType,
        [shared, after, socket](std::size_t offset, std::size_t, httplib::DataSink& sink) {
            if (offset < after)
                sink.write(shared->data() + offset, std::min(after, shared->size()) - offset);
            socket.Cut();
            return false;
        });
}

// The provider outlives this call: it keeps the body and the socket, and the stopping flag,
// which is the server's and outlives every request.
void Slow(Delivery& d) {
    const auto socket = ConnectionSocket::Serving();
    socket.NoDelay();
    const auto chunk = static_cast<std::size_t>(d.fault.chunk);
    const auto pause = std::chrono::milliseconds(d.fault.ms);
    const std::atomic<bool>* stopping = &d.stopping;
    auto shared = std::make_shared<std::string>(std::move(d.body));
    d.res.set_content_provider(shared->size(), Routes::kRecordType,
                               [stopping, shared, chunk, pause,
                                socket](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                                   const std::size_t piece = std::min(chunk, length);
                                   if (!sink.write(shared->data() + offset, piece))
                                       return false;
                                   if (offset + piece < shared->size() &&
                                       socket.Wait(pause, *stopping) != Wait::Elapsed) {
                                       socket.Cut();
                                       return false;
                                   }
                                   return true;
                               });
}

// The whole answer, status line and headers included, a few bytes at a time: what a half-dead
// proxy does. Written past httplib, which then writes to a cut connection.
void Trickle(Delivery& d) {
    const auto socket = ConnectionSocket::Serving();
    socket.NoDelay();
    const std::string answer = "HTTP/1.1 200 OK\r\nContent-Type: " + std::string(Routes::kRecordType) +
                               "\r\nContent-Length: " + std::to_string(d.body.size()) +
                               "\r\nConnection: close\r\n\r\n" + d.body;
    const auto chunk = static_cast<std::size_t>(d.fault.chunk);
    for (std::size_t offset = 0; offset < answer.size(); offset += chunk) {
        if (!socket.Send(answer.data() + offset, std::min(chunk, answer.size() - offset)))
            break;
        if (offset + chunk < answer.size() &&
            socket.Wait(std::chrono::milliseconds(d.fault.ms), d.stopping) != Wait::Elapsed)
            break;
    }
    socket.Cut();
    Normally(d);
}

void Body(Delivery& d) {
    d.res.status = d.fault.status;
    d.res.set_content(d.fault.body, "text/plain");
}

void Redirect(Delivery& d) {
    d.res.set_redirect(d.fault.body, d.fault.status);
}

void Status(Delivery& d) {
    d.res.status = d.fault.status;
    Normally(d);
}

const struct {
    Fault::Mode mode;
    void (*deliver)(Delivery&);
} kModes[] = {
    {Fault::Mode::Delay, Delay}, {Fault::Mode::Hang, Hang},     {Fault::Mode::Refuse, Refuse},
    {Fault::Mode::Reset, Reset}, {Fault::Mode::Slow, Slow},     {Fault::Mode::Trickle, Trickle},
    {Fault::Mode::Body, Body},   {Fault::Mode::Status, Status}, {Fault::Mode::Redirect, Redirect},
};

} // namespace

void FaultDelivery::Deliver(const std::string& path, std::string body, httplib::Response& res) const {
    const auto fault = m_faults.Find(path);
    if (!fault) {
        res.set_content(body, Routes::kRecordType);
        return;
    }
    // The books have already answered: a fault changes only what reaches the till.
    Delivery delivery{*fault, std::move(body), res, m_stopping};
    for (const auto& way : kModes) {
        if (way.mode == fault->mode)
            return way.deliver(delivery);
    }
}

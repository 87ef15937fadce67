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

void FaultDelivery::Deliver(const std::string& path, std::string body, httplib::Response& res) const {
    const auto fault = m_faults.Find(path);
    if (!fault) {
        res.set_content(body, Routes::kRecordType);
        return;
    }
    // The books have already answered: a fault changes only what reaches the till.
    using Wait = ConnectionSocket::WaitResult;
    switch (fault->mode) {
    case Fault::Mode::Delay: {
        const auto socket = ConnectionSocket::Serving();
        if (socket.Wait(std::chrono::milliseconds(fault->ms), m_stopping) != Wait::Elapsed)
            socket.Cut();
        res.set_content(body, Routes::kRecordType);
        return;
    }
    case Fault::Mode::Hang: {
        const auto socket = ConnectionSocket::Serving();
        socket.Wait(std::chrono::milliseconds(-1), m_stopping);
        // Cut before returning, so that what httplib then writes reaches nobody.
        socket.Cut();
        res.set_content(body, Routes::kRecordType);
        return;
    }
    case Fault::Mode::Refuse: {
        // A server that went down while the request was on its way: the connection ends without
        // a byte of an answer, the way a crashed or restarting server's socket does.
        ConnectionSocket::Serving().Cut();
        res.set_content(body, Routes::kRecordType);
        return;
    }
    case Fault::Mode::Reset: {
        const auto socket = ConnectionSocket::Serving();
        const auto after = static_cast<std::size_t>(fault->after);
        auto shared = std::make_shared<std::string>(std::move(body));
        res.set_content_provider(
            shared->size(), Routes::kRecordType,
            [shared, after, socket](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                if (offset < after) {
                    sink.write(shared->data() + offset, std::min(after, shared->size()) - offset);
                }
                socket.Cut();
                return false;
            });
        return;
    }
    case Fault::Mode::Slow: {
        const auto socket = ConnectionSocket::Serving();
        socket.NoDelay();
        const auto chunk = static_cast<std::size_t>(fault->chunk);
        const auto pause = std::chrono::milliseconds(fault->ms);
        auto shared = std::make_shared<std::string>(std::move(body));
        res.set_content_provider(shared->size(), Routes::kRecordType,
                                 [this, shared, chunk, pause, socket](std::size_t offset, std::size_t length,
                                                                      httplib::DataSink& sink) {
                                     const std::size_t piece = std::min(chunk, length);
                                     if (!sink.write(shared->data() + offset, piece))
                                         return false;
                                     if (offset + piece < shared->size() &&
                                         socket.Wait(pause, m_stopping) != Wait::Elapsed) {
                                         socket.Cut();
                                         return false;
                                     }
                                     return true;
                                 });
        return;
    }
    case Fault::Mode::Trickle: {
        // The whole answer, status line and headers included, a few bytes at a time: what a
        // half-dead proxy does. Written past httplib, which then writes to a cut connection.
        const auto socket = ConnectionSocket::Serving();
        socket.NoDelay();
        const std::string answer = "HTTP/1.1 200 OK\r\nContent-Type: " + std::string(Routes::kRecordType) +
                                   "\r\nContent-Length: " + std::to_string(body.size()) +
                                   "\r\nConnection: close\r\n\r\n" + body;
        const auto chunk = static_cast<std::size_t>(fault->chunk);
        for (std::size_t offset = 0; offset < answer.size(); offset += chunk) {
            if (!socket.Send(answer.data() + offset, std::min(chunk, answer.size() - offset)))
                break;
            if (offset + chunk < answer.size() &&
                socket.Wait(std::chrono::milliseconds(fault->ms), m_stopping) != Wait::Elapsed)
                break;
        }
        socket.Cut();
        res.set_content(body, Routes::kRecordType);
        return;
    }
    case Fault::Mode::Body:
        res.status = fault->status;
        res.set_content(fault->body, "text/plain");
        return;
    case Fault::Mode::Status:
        res.status = fault->status;
        res.set_content(body, Routes::kRecordType);
        return;
    }
}

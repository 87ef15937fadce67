// The HTTP side of the Routes table: hands each row to httplib and turns its reply into the
// answer, passes the till's replies through fault delivery, answers what no row takes, carries
// the forward proxy's requests, keeps the request log and writes one line per answered request.
//
// Threads: set up before the server starts; its handlers run on request threads.
#pragma once

#include "server/ClientAddress.h"
#include "server/Routes.h"

#include <functional>
#include <string>
#include <vector>

class BoundedHttpServer;
class FaultDelivery;
class RequestLog;

namespace httplib {
struct Request;
struct Response;
} // namespace httplib

class Router {
public:
    // Receives one line per answered request (no newline). Called from request threads.
    using LogSink = std::function<void(const std::string&)>;

    // Installs the handlers on `http`. `routes` must not change from now on. `requests`: the
    // simulation's request log; nullptr without the simulation, which keeps no log and carries no
    // proxy. `trustedProxies`: the operator's reverse proxies, whose requests name their client in
    // X-Forwarded-For; any other client's header is ignored.
    Router(BoundedHttpServer& http, const Routes& routes, const FaultDelivery& faults, RequestLog* requests,
           LogSink log, std::vector<ClientAddress> trustedProxies = {});
    Router(const Router&) = delete;
    Router& operator=(const Router&) = delete;

private:
    // Answers with the row that takes the request's path and method, or as an unknown path.
    void Dispatch(Routes::Method method, const httplib::Request& req, httplib::Response& res) const;
    void Answer(const Routes::Route& route, const httplib::Request& req, std::string_view body,
                httplib::Response& res) const;
    // A proxy's request in absolute form, answered by this server as if it had come straight here.
    void Proxy(const httplib::Request& req, httplib::Response& res) const;
    void WriteLog(const httplib::Request& req, const httplib::Response& res) const;
    // The address the request comes from: the connection's peer, or, when that is a trusted
    // proxy, the client the proxy appended to X-Forwarded-For.
    std::string Client(const httplib::Request& req) const;

    BoundedHttpServer& m_http;
    const Routes& m_routes;
    const FaultDelivery& m_faults;
    RequestLog* const m_requests;
    const LogSink m_log;
    const std::vector<ClientAddress> m_trustedProxies;
};

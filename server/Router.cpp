#include "server/Router.h"

#include "server/BoundedHttpServer.h"
#include "server/FaultDelivery.h"
#include "server/Record.h"
#include "server/RequestLog.h"
#include "server/RequestTarget.h"

#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>

namespace {

// A decoded path may hold any byte, a line break too.
constexpr const char* kAnyPath = "[\\s\\S]*";

std::string HostOf(const httplib::Request& req) {
    std::string host = req.get_header_value("Host");
    if (!host.empty())
        return host;
    // HTTP/1.0 without Host: the address the connection reached.
    if (req.local_addr.find(':') != std::string::npos)
        return "[" + req.local_addr + "]:" + std::to_string(req.local_port);
    return req.local_addr + ":" + std::to_string(req.local_port);
}

std::string Timestamp() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm local{};
    localtime_r(&seconds, &local);
    char text[32];
    std::strftime(text, sizeof text, "%H:%M:%S", &local);
    char withMs[40];
    std::snprintf(withMs, sizeof withMs, "%s.%03d", text, static_cast<int>(ms));
    return withMs;
}

// Streamed from the file in pieces: a package is megabytes, and many shops may fetch it. False
// when the file cannot be read.
bool SendFile(const Routes::Reply& reply, httplib::Response& res) {
    auto file = std::make_shared<std::ifstream>(reply.file, std::ios::binary);
    if (!*file)
        return false;
    file->seekg(0, std::ios::end);
    const auto size = static_cast<std::size_t>(file->tellg());
    file->seekg(0);
    res.set_header("Content-Disposition",
                   "attachment; filename=\"" + std::filesystem::path(reply.file).filename().string() + "\"");
    res.set_content_provider(
        size, reply.contentType, [file](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
            char buffer[64 * 1024];
            file->seekg(static_cast<std::streamoff>(offset));
            file->read(buffer, static_cast<std::streamsize>(std::min(length, sizeof buffer)));
            const auto got = file->gcount();
            return got > 0 && sink.write(buffer, static_cast<std::size_t>(got));
        });
    return true;
}

void Apply(const Routes::Reply& reply, httplib::Response& res) {
    if (!reply.redirect.empty()) {
        res.set_redirect(reply.redirect, 303);
        return;
    }
    if (!reply.file.empty()) {
        if (!SendFile(reply, res))
            Apply(Routes::Unknown(), res);
        return;
    }
    // A 200 is left to httplib, which makes it a 206 for a request with a range.
    if (reply.status != 200)
        res.status = reply.status;
    res.set_content(reply.body, reply.contentType);
}

} // namespace

Router::Router(BoundedHttpServer& http, const Routes& routes, const FaultDelivery& faults,
               RequestLog* requests, LogSink log, std::vector<ClientAddress> trustedProxies)
    : m_http(http), m_routes(routes), m_faults(faults), m_requests(requests), m_log(std::move(log)),
      m_trustedProxies(std::move(trustedProxies)) {
    m_http.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
        // Never a password in the log.
        if (m_requests && !Routes::IsSimulation(req.path))
            m_requests->Add(RequestTarget::MaskPasswords(req.target));
        // A POST that announces no body ("curl -X POST URL") has none. httplib would read one up
        // to the end of the connection, that is until its read time-out, so such a request is
        // answered here, before the body is read.
        if (req.method == "POST" && !req.has_header("Content-Length") &&
            !req.has_header("Transfer-Encoding")) {
            const Routes::Route* route = m_routes.Find(req.path);
            if (route && route->method == Routes::Method::Post)
                Answer(*route, req, std::string_view(), res);
            else
                Apply(Routes::Unknown(), res);
            return httplib::Server::HandlerResponse::Handled;
        }
        return httplib::Server::HandlerResponse::Unhandled;
    });
    // Errors the HTTP layer answers by itself (a target over 8 KB, a broken request line) carry
    // no body; they get a refusal record like every other refusal. Answers that already have a
    // body, those of a status fault included, keep it, and so does a body fault's empty page.
    const httplib::Server::HandlerWithResponse fillEmptyError = [this](const httplib::Request& req,
                                                                       httplib::Response& res) {
        if (!res.body.empty() || res.content_length_ > 0 || m_faults.EmptyOnPurpose(req.path))
            return httplib::Server::HandlerResponse::Unhandled;
        res.set_content(
            Record::Refused("요청을 처리할 수 없습니다 (HTTP " + std::to_string(res.status) + ")"),
            Routes::kRecordType);
        return httplib::Server::HandlerResponse::Handled;
    };
    m_http.set_error_handler(fillEmptyError);
    m_http.set_logger(
        [this](const httplib::Request& req, const httplib::Response& res) { WriteLog(req, res); });
    m_http.set_exception_handler([](const httplib::Request&, httplib::Response& res, std::exception_ptr ep) {
        std::string why = "unknown";
        try {
            std::rethrow_exception(ep);
        } catch (const std::exception& e) {
            why = e.what();
        } catch (...) {
        }
        res.status = 500;
        res.set_content(Record::Refused("server error: " + why), Routes::kRecordType);
    });

    // The proxy belongs to the simulation: its inner request comes from this host, so through it
    // any client would count as 127.0.0.1 and take a second connection past its address's cap.
    // Without it an absolute-form target is a path no row takes.
    if (m_requests)
        m_http.Get(R"(http://([^/?]+)(.*))",
                   [this](const httplib::Request& req, httplib::Response& res) { Proxy(req, res); });
    // Every other path is looked up in the table here, not by patterns of httplib's, so that the
    // rows decide alone (the fuzz target drives the same lookup). httplib sends HEAD to Get.
    m_http.Get(kAnyPath, [this](const httplib::Request& req, httplib::Response& res) {
        Dispatch(Routes::Method::Get, req, res);
    });
    m_http.Post(kAnyPath, [this](const httplib::Request& req, httplib::Response& res) {
        Dispatch(Routes::Method::Post, req, res);
    });
}

void Router::Dispatch(Routes::Method method, const httplib::Request& req, httplib::Response& res) const {
    const Routes::Route* route = m_routes.Find(req.path);
    if (route && route->method == method)
        Answer(*route, req, req.body, res);
    else if (req.path.find('\n') != std::string::npos)
        res.status = 404; // the HTTP layer's own 404 answer, which such a path has always had
    else
        Apply(Routes::Unknown(), res);
}

void Router::Answer(const Routes::Route& route, const httplib::Request& req, std::string_view body,
                    httplib::Response& res) const {
    const QueryString query = QueryString::FromTarget(req.target);
    const std::string host = HostOf(req);
    Routes::Reply reply = route.answer({req.path, query, host, body, Client(req)});
    if (route.serves == Routes::Serves::Till)
        m_faults.Deliver(req.path, std::move(reply.body), res);
    else
        Apply(reply, res);
}

// A forward proxy for any host, onto this server: what a shop's proxy does for a till whose
// system setting names one. A request in absolute form ("GET http://host:port/path") is answered
// as if it had come straight here with that Host, so a host that only the proxy can resolve works
// through it, and the request log shows what came by the proxy.
void Router::Proxy(const httplib::Request& req, httplib::Response& res) const {
    // The route matched the decoded path; the parts are taken from the target as it came.
    const auto split = RequestTarget::SplitAbsolute(req.target);
    // A proxy for https tunnels (CONNECT); this one carries plain http only.
    const bool tls = m_http.ServesTls();
    if (!split || tls) {
        res.status = 400;
        res.set_content(
            Record::Refused(tls ? "proxy: plain http only" : "proxy: not a target in absolute form"),
            Routes::kRecordType);
        return;
    }
    // The port the request reached is this server's.
    httplib::Client self("127.0.0.1", req.local_port);
    auto answer = self.Get(split->path.c_str(), {{"Host", split->host}, {"Connection", "close"}});
    if (!answer) {
        res.status = 502;
        res.set_content(Record::Refused("proxy: no answer"), Routes::kRecordType);
        return;
    }
    res.status = answer->status;
    res.set_content(answer->body, answer->get_header_value("Content-Type"));
}

std::string Router::Client(const httplib::Request& req) const {
    const auto peer = ClientAddress::Parse(req.remote_addr);
    if (!peer)
        return req.remote_addr;
    constexpr const char* kForwarded = "X-Forwarded-For";
    const std::size_t headers = req.get_header_value_count(kForwarded);
    if (headers > 0 &&
        std::find(m_trustedProxies.begin(), m_trustedProxies.end(), *peer) != m_trustedProxies.end()) {
        // The proxy appends to the last header; one it received from the client comes before.
        if (const auto client = ClientAddress::LastForwarded(req.get_header_value(kForwarded, headers - 1)))
            return client->Text();
    }
    return peer->Text();
}

void Router::WriteLog(const httplib::Request& req, const httplib::Response& res) const {
    if (!m_log)
        return;
    const std::size_t bytes = res.body.empty() ? res.content_length_ : res.body.size();
    m_log(Timestamp() + " " + Client(req) + " " + req.method + " " +
          RequestTarget::MaskPasswords(req.target) + " " + std::to_string(res.status) + " " +
          std::to_string(bytes));
}

// A test's line to quillon-server's simulation and inspection calls (/sim/*) and, for checks that
// must not go through the code under test, to any of its endpoints. Loopback only, blocking, one
// connection per call. Natively over libcurl, on Windows over WinInet: the control calls need POST,
// which the program's own GET-only internet part does not offer.
#pragma once

#include <string>
#include <string_view>
#include <vector>

struct SimReply {
    int status = 0; // the HTTP status; 0 when no answer came at all
    std::string body;
};

class SimClient {
public:
    explicit SimClient(int port) : m_port(port) {}

    // The port that tools/with-server.sh passes in QUILLON_TEST_PORT; 0 when it is not set.
    static int PortFromEnvironment();

    int Port() const { return m_port; }
    // "127.0.0.1:PORT": what the server sees in the Host header and announces at login.
    std::string HostPort() const;

    // `target` is the request target as sent: path and an already encoded query.
    SimReply Get(std::string_view target) const;
    SimReply Post(std::string_view target, std::string_view body = {}) const;

    // The control calls. Each returns whether the server accepted it (status 200, field 0 "1").
    bool Reset() const;
    bool Confirm(std::string_view deviceId, std::string_view customer = {}) const;
    // `mode` is the mode with its own parameters, encoded: "hang", "slow&chunk=3&ms=40", ...
    // For mode "body", `body` holds the raw bytes the endpoint answers from now on.
    bool ArmFault(std::string_view path, std::string_view mode, std::string_view body = {}) const;
    bool DisarmFault(std::string_view path) const;
    // `settings` is the encoded query after the shop id: "version=3", "coins=0", ...
    bool SetShop(std::string_view shopId, std::string_view settings) const;

    // The request log's targets in arrival order, without their time stamps.
    std::vector<std::string> RequestTargets() const;
    // The text-message outbox, one entry per message, its tab-separated columns split.
    std::vector<std::vector<std::string>> SmsOutbox() const;

    // Percent-encodes UTF-8 bytes for a control call's query (unreserved characters stay).
    static std::string Encode(std::string_view utf8);

private:
    SimReply Exchange(const char* method, std::string_view target, std::string_view body) const;

    int m_port;
};

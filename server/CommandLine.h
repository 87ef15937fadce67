// quillon-server's command line: --host, --port, --db, --seed, --downloads, --tls-cert, --tls-key,
// --trusted-proxy (repeatable), --simulate and --help, each flag
// taking its value as the next argument or after '=' (--port=8480).
#pragma once

#include "server/ClientAddress.h"

#include <string>
#include <vector>

class CommandLine {
public:
    std::string host = "127.0.0.1";
    int port = 8480;
    std::string db = ":memory:";
    // "demo" or "none"; used only when the database is new. Unless given, "demo" for :memory:
    // and "none" for a file: a shop's books never start with the demo shop's known password.
    std::string seed;
    std::string downloads;                     // the folder the site root offers (empty: none)
    std::string tlsCertificate, tlsKey;        // PEM files; both or neither: https instead of http
    std::vector<ClientAddress> trustedProxies; // whose X-Forwarded-For names the client
    bool simulate = false;                     // serve /sim/* and /app
    bool help = false;

    // Whether the simulation would be reachable from another machine.
    bool SimulationBeyondLoopback() const;

    // Parses argv[1..]; false with a message in `error` for an unknown flag, a missing or bad value.
    bool Parse(const std::vector<std::string>& args, std::string& error);

    static std::string Usage();
};

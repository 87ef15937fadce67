// quillon-server's command line: --host, --port, --db, --seed, --downloads, --tls-cert, --tls-key,
// --trusted-proxy (repeatable), --simulate and --help, each flag
// taking its value as the next argument or after '=' (--port=8480). Its flag splitter is also the
// `shop` and `backup` commands', so that every flag of the binary is written the same way.
#pragma once

#include "server/ClientAddress.h"

#include <optional>
#include <string>
#include <vector>

class CommandLine {
public:
    // One argument split as a flag: `--name=value`, or a bare `--name` (or any other word),
    // without a value yet.
    struct Flag {
        std::string name;
        std::optional<std::string> value;
    };
    static Flag SplitFlag(const std::string& arg);
    // Gives `flag` the next argument (args[i + 1], which `i` then passes) when it came without
    // '='; false when it has none and there is no next argument.
    static bool TakeValue(Flag& flag, const std::vector<std::string>& args, std::size_t& i);

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

#include "server/CommandLine.h"

#include "server/Numbers.h"

CommandLine::Flag CommandLine::SplitFlag(const std::string& arg) {
    const auto eq = arg.find('=');
    if (!arg.starts_with("--") || eq == std::string::npos)
        return {arg, std::nullopt};
    return {arg.substr(0, eq), arg.substr(eq + 1)};
}

bool CommandLine::TakeValue(Flag& flag, const std::vector<std::string>& args, std::size_t& i) {
    if (flag.value)
        return true;
    if (i + 1 >= args.size())
        return false;
    flag.value = args[++i];
    return true;
}

bool CommandLine::Parse(const std::vector<std::string>& args, std::string& error) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        Flag split = SplitFlag(args[i]);
        const std::string& flag = split.name;
        if (flag == "--help" || flag == "-h" || flag == "--simulate") {
            if (split.value) {
                error = flag + " takes no value";
                return false;
            }
            (flag == "--simulate" ? simulate : help) = true;
            continue;
        }
        if (flag != "--host" && flag != "--port" && flag != "--db" && flag != "--seed" &&
            flag != "--downloads" && flag != "--tls-cert" && flag != "--tls-key" &&
            flag != "--trusted-proxy") {
            error = "unknown option: " + args[i];
            return false;
        }
        if (!TakeValue(split, args, i)) {
            error = flag + " needs a value";
            return false;
        }
        const std::string& value = *split.value;
        if (flag == "--host") {
            if (value.empty()) {
                error = "--host needs a host name or address";
                return false;
            }
            host = value;
        } else if (flag == "--port") {
            const auto number = Numbers::ParseInteger(value, 0, 65535);
            if (!number || value.front() == '-') {
                error = "--port needs a number from 0 to 65535, not \"" + value + "\"";
                return false;
            }
            port = static_cast<int>(*number);
        } else if (flag == "--db") {
            if (value.empty()) {
                error = "--db needs a file name or :memory:";
                return false;
            }
            db = value;
        } else if (flag == "--trusted-proxy") {
            const auto proxy = ClientAddress::Parse(value);
            if (!proxy) {
                error = "--trusted-proxy needs an IP address, not \"" + value + "\"";
                return false;
            }
            trustedProxies.push_back(*proxy);
        } else if (flag == "--downloads" || flag == "--tls-cert" || flag == "--tls-key") {
            if (value.empty()) {
                error = flag + " needs a " + (flag == "--downloads" ? "folder" : "file");
                return false;
            }
            (flag == "--downloads" ? downloads : flag == "--tls-cert" ? tlsCertificate : tlsKey) = value;
        } else {
            if (value != "demo" && value != "none") {
                error = "--seed must be demo or none, not \"" + value + "\"";
                return false;
            }
            seed = value;
        }
    }
    if (tlsCertificate.empty() != tlsKey.empty()) {
        error = "--tls-cert and --tls-key go together";
        return false;
    }
    if (seed.empty())
        seed = db == ":memory:" ? "demo" : "none";
    return true;
}

bool CommandLine::SimulationBeyondLoopback() const {
    return simulate && host != "localhost" && host != "::1" && host.rfind("127.", 0) != 0;
}

std::string CommandLine::Usage() {
    return R"(Usage: quillon-server [--host HOST] [--port PORT] [--db FILE | :memory:] [--seed demo|none]
                      [--downloads DIR] [--tls-cert FILE --tls-key FILE] [--trusted-proxy ADDR]...
                      [--simulate]
       quillon-server shop add|password|set|list ... --db FILE   (quillon-server shop --help)
       quillon-server backup --db FILE --to COPY                (quillon-server backup --help)

The reference operator server for Quillon: the till's HTTP endpoints and real books in SQLite;
with --simulate also the customer's side (/app, /sim/confirm) and faults on demand (/sim/fault).

  --host HOST   address to listen on (default 127.0.0.1, loopback only)
  --port PORT   TCP port (default 8480; 0 picks a free port)
  --db FILE     SQLite database file, created when missing; :memory: keeps nothing
                (default :memory:)
  --seed demo   fill a new database with the demo shop (id "demo", password "demo") and
                customers; --seed none starts a new database empty (default: demo for
                :memory:, none for a file)
  --downloads DIR  offer the packages (*.msi, *.zip) in DIR on the site root, where the
                upgrade notice sends a shop, with their SHA-256 from DIR/SHA256SUMS
  --tls-cert FILE, --tls-key FILE
                serve https instead of http, with this certificate chain and private key
                (PEM); the certificate must name the host the tills use (a DNS name)
  --trusted-proxy ADDR
                a reverse proxy of the operator's (repeatable): for its requests the client is
                the last address in X-Forwarded-For, which the proxy appends; from any other
                address the header is ignored
  --simulate    serve the simulation for tests and demos: /app, /sim/* and the request log.
                Whoever reaches the port can then confirm, change shops and hang tills: keep
                it on loopback
  -h, --help    show this help

Prints "quillon-server listening on HOST:PORT" once it accepts connections, then one line per
request. SIGINT or SIGTERM stops it.
)";
}

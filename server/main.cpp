// quillon-server: parses the command line, opens the books, serves until SIGINT or SIGTERM; or runs
// one of the operator's commands on the books (shop, backup).
#include "server/BackupCommand.h"
#include "server/Books.h"
#include "server/CommandLine.h"
#include "server/OperatorServer.h"
#include "server/ShopCommand.h"

#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <pthread.h>

namespace {

constexpr int kUsageError = 2;
constexpr int kStartError = 1;

void PrintLine(const std::string& line) {
    static std::mutex lock;
    std::lock_guard guard(lock);
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    // Flushed per line: with-server.sh and people read the log while the server runs.
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "shop") {
        const std::vector<std::string> args(argv + 2, argv + argc);
        if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
            std::cout << ShopCommand::Usage();
            return 0;
        }
        return ShopCommand().Run(args, std::cin, ::isatty(STDIN_FILENO) == 1, std::cout, std::cerr);
    }
    if (argc > 1 && std::string(argv[1]) == "backup") {
        const std::vector<std::string> args(argv + 2, argv + argc);
        if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
            std::cout << BackupCommand::Usage();
            return 0;
        }
        return BackupCommand().Run(args, std::cout, std::cerr);
    }
    CommandLine options;
    std::string error;
    if (!options.Parse(std::vector<std::string>(argv + 1, argv + argc), error)) {
        std::fprintf(stderr, "quillon-server: %s\nTry 'quillon-server --help'.\n", error.c_str());
        return kUsageError;
    }
    if (options.help) {
        std::fputs(CommandLine::Usage().c_str(), stdout);
        return 0;
    }
    if (std::error_code e;
        !options.downloads.empty() && !std::filesystem::is_directory(options.downloads, e)) {
        std::fprintf(stderr, "quillon-server: --downloads: \"%s\" is not a folder\n",
                     options.downloads.c_str());
        return kUsageError;
    }

    // SIGINT and SIGTERM are taken by sigwait on the main thread; every thread started from here
    // on inherits the mask, so none of them is interrupted by the signal.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    std::unique_ptr<Books> books;
    try {
        books = std::make_unique<Books>(options.db,
                                        options.seed == "demo" ? Books::Seed::Demo : Books::Seed::None);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "quillon-server: cannot use database \"%s\": %s\n", options.db.c_str(),
                     e.what());
        return kStartError;
    }

    OperatorServer server(*books, PrintLine,
                          options.simulate ? OperatorServer::Simulation::On : OperatorServer::Simulation::Off,
                          options.downloads, options.trustedProxies);
    if (!options.tlsCertificate.empty() && !server.UseTls(options.tlsCertificate, options.tlsKey, error)) {
        std::fprintf(stderr, "quillon-server: cannot use the certificate \"%s\" and key \"%s\": %s\n",
                     options.tlsCertificate.c_str(), options.tlsKey.c_str(), error.c_str());
        return kStartError;
    }
    if (!server.Bind(options.host, options.port, error)) {
        std::fprintf(stderr, "quillon-server: cannot listen on %s:%d: %s\n", options.host.c_str(),
                     options.port, error.c_str());
        return kStartError;
    }
    server.Start();
    PrintLine("quillon-server listening on " + options.host + ":" + std::to_string(server.Port()) +
              (options.tlsCertificate.empty() ? "" : " (https)"));
    if (options.SimulationBeyondLoopback())
        std::fprintf(stderr,
                     "quillon-server: warning: --simulate on %s: anyone who reaches the port can confirm "
                     "operations, change shops and read the request log\n",
                     options.host.c_str());

    int signal = 0;
    sigwait(&stopSignals, &signal);
    PrintLine(std::string("quillon-server stopping (") + (signal == SIGINT ? "SIGINT" : "SIGTERM") + ")");
    server.Stop();
    return 0;
}

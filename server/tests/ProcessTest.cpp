// The quillon-server binary itself: help, refused flags, start-up errors, the ready line, the log
// and a clean stop on SIGTERM and SIGINT.
#include "ServerProcess.h"
#include "TempDir.h"
#include "tests/support/SimClient.h"

#include <gtest/gtest.h>

#include <signal.h>

#include <string>
#include <vector>

namespace {

// How the binary ends without serving: its exit code and what it says. "{busy}" is a port that
// another quillon-server holds.
TEST(ServerProcess, EndsWithAClearWord) {
    ServerProcess holder({"--port", "0", "--db", ":memory:"});
    const std::string busy = std::to_string(PortFromReadyLine(holder.ReadUntil("\n")));
    const struct {
        std::vector<std::string> args;
        int exit;
        std::string says;
    } cases[] = {
        {{"--help"}, 0, "Usage: quillon-server"},
        {{"--port", "http"}, 2, "--help"}, // which flags are refused: ParsingTest
        {{"--port", busy}, 1, "cannot listen on 127.0.0.1:" + busy + ": port already in use"},
        {{"--port", "0", "--db", "/nonexistent-dir/books.db"}, 1,
         "cannot use database \"/nonexistent-dir/books.db\""},
        {{"--port", "0", "--tls-cert", "/nonexistent.pem", "--tls-key", "/nonexistent.key"}, 1,
         "cannot use the certificate \"/nonexistent.pem\""},
        {{"--port", "0", "--downloads", "/nonexistent-dir"}, 2, "\"/nonexistent-dir\" is not a folder"},
        {{"shop", "--help"}, 0, "Usage: quillon-server shop add"}, // the actions: PersistenceTest
        {{"backup", "--help"}, 0, "Usage: quillon-server backup"},
        {{"backup", "--db", "/nonexistent-dir/books.db", "--to", "x"}, 1, "no books at \"/nonexistent-dir/books.db\""},
        {{"shop", "list", "--db", "/nonexistent-dir/books.db"}, 1, "no books at \"/nonexistent-dir/books.db\""},
    };
    for (const auto& c : cases) {
        ServerProcess p(c.args);
        EXPECT_EQ(p.Exit(), c.exit) << c.args[0];
        EXPECT_NE(p.Out().find(c.says), std::string::npos) << p.Out();
    }
}

// The simulation only when asked for, a warning when it would be reachable from elsewhere, a new
// file database without the demo shop, each request logged with no password unmasked in anything
// served or printed, and a clean stop on SIGTERM and SIGINT.
TEST(ServerProcess, SimulatesOnlyWhenAskedLogsWithoutPasswordsAndStopsOnSignals) {
    const TempDir dir;
    const std::string db = dir / "books.db";
    const struct {
        std::vector<std::string> args;
        bool simulates, demoShop, warns;
        int stop;
    } cases[] = {
        {{"--db", ":memory:"}, false, true, false, SIGINT},
        {{"--db", ":memory:", "--simulate"}, true, true, false, SIGTERM},
        {{"--db", db, "--simulate"}, true, false, false, SIGINT},
        {{"--host", "0.0.0.0", "--simulate"}, true, true, true, SIGTERM},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"--port", "0"});
        ServerProcess p(args);
        const int port = PortFromReadyLine(p.ReadUntil("\n"));
        ASSERT_GT(port, 0) << p.Out();
        const SimClient http(port);
        EXPECT_EQ(http.Get("/android/poslogin.php?id=demo&password=demo").body.substr(0, 2),
                  c.demoShop ? "1<" : "0<");
        // The forward proxy is the simulation's too: without it, an absolute-form target is unknown.
        for (const char* route : {"/sim/requests", "/sim/sms", "/app", "/sim/clock", "http://x.example/android/poslogin.php"})
            EXPECT_EQ(http.Get(route).status, c.simulates ? 200 : 404) << route << " " << args[1];
        EXPECT_EQ(http.Post("/sim/confirm?deviceid=x").status, c.simulates ? 200 : 404);
        const std::string log = c.simulates ? http.Get("/sim/requests").body : "";
        EXPECT_EQ(log.find("password=demo"), std::string::npos) << log;
        EXPECT_EQ(log.find("password=***") != std::string::npos, c.simulates) << log;
        p.ReadUntil("poslogin");
        p.Signal(c.stop);
        EXPECT_EQ(p.Exit(), 0);
        EXPECT_NE(p.Out().find(" GET /android/poslogin.php?id=demo&password=*** 200"), std::string::npos) << p.Out();
        EXPECT_EQ(p.Out().find("password=demo"), std::string::npos) << p.Out();
        EXPECT_NE(p.Out().find(c.stop == SIGINT ? "stopping (SIGINT)" : "stopping (SIGTERM)"), std::string::npos);
        EXPECT_EQ(p.Out().find("warning: --simulate") != std::string::npos, c.warns) << p.Out();
    }
}

} // namespace

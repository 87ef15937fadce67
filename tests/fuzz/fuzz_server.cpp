// libFuzzer target over quillon-server's handling of a request target, the bytes a client chooses:
// the masking of passwords, the split of a proxy's absolute-form target, the query decoding, and
// the server's own Routes table reached by the target's path: the books' endpoints (their number
// parsing included), the simulation's API with its fault table, and the site's downloads. In the
// target, "deviceid=@" stands for a till the books know, so that the fuzzer reaches past the
// unknown-device refusal, and the `body` parameter for a POST's body; the whole input also stands
// for an X-Forwarded-For value, whose client goes to the login. The first property violated aborts.
#include "server/Books.h"
#include "server/ClientAddress.h"
#include "server/DownloadsPage.h"
#include "server/FaultTable.h"
#include "server/Numbers.h"
#include "server/QueryString.h"
#include "server/RequestLog.h"
#include "server/RequestTarget.h"
#include "server/Routes.h"
#include "server/SimulationApi.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <strings.h>

namespace {

void Require(bool holds, const char* property) {
    if (!holds) {
        std::fprintf(stderr, "fuzz_server: property violated: %s\n", property);
        std::abort();
    }
}

// A reply record: field 0 is "1" or "0" and, when there are more, the separator follows it.
void RequireRecord(const std::string& reply) {
    Require(!reply.empty() && (reply[0] == '0' || reply[0] == '1'), "a reply's field 0 is 1 or 0");
    Require(reply.size() == 1 || reply.compare(1, 3, "</>") == 0, "field 0 is one character");
}

// A folder with one package and one file that is not one.
const DownloadsPage& Downloads() {
    static const DownloadsPage downloads = [] {
        const auto folder = std::filesystem::temp_directory_path() / "quillon-fuzz-downloads";
        std::filesystem::create_directories(folder);
        std::ofstream(folder / "Quillon-1.0.0.1-x64.msi") << "MSI";
        std::ofstream(folder / "notes.txt") << "not for download";
        return DownloadsPage(folder.string());
    }();
    return downloads;
}

// The server's routes over fresh books every so many inputs, so that logins and operations do
// not pile up over millions. The blackhole is never granted: no port, no watcher thread.
class Fixture {
public:
    struct Server {
        Server()
            : books(":memory:", Books::Seed::Demo, 1),
              simulation(
                  books, faults, requests, [](bool) { return false; }, stopping),
              routes(books) {
            Downloads().AddTo(routes);
            simulation.AddTo(routes);
        }
        std::atomic<bool> stopping{false};
        Books books;
        FaultTable faults;
        RequestLog requests;
        SimulationApi simulation;
        Routes routes;
    };

    Server& server() {
        if (!m_server || ++m_uses > 20'000) {
            m_server.reset();
            m_server = std::make_unique<Server>();
            const std::string login = m_server->books.Tills().Login(QueryString::Parse("id=demo&password=demo"),
                                                                    "127.0.0.1:8480", "127.0.0.1");
            m_device = login.substr(4, login.find("</>", 4) - 4);
            m_uses = 0;
        }
        return *m_server;
    }
    const std::string& device() const { return m_device; }

private:
    std::unique_ptr<Server> m_server;
    std::string m_device;
    int m_uses = 0;
};

void CheckMasking(const std::string& target) {
    const std::string masked = RequestTarget::MaskPasswords(target);
    const auto before = QueryString::FromTarget(target).Items();
    const auto after = QueryString::FromTarget(masked).Items();
    Require(before.size() == after.size(), "masking keeps every parameter");
    for (std::size_t i = 0; i < before.size(); ++i) {
        Require(before[i].first == after[i].first, "masking keeps the names");
        if (strcasecmp(before[i].first.c_str(), "password") == 0)
            Require(after[i].second == "***" || (before[i].second.empty() && after[i].second.empty()),
                    "no password value survives the masking");
        else
            Require(before[i].second == after[i].second, "masking keeps the other values");
    }
}

void CheckAbsoluteForm(const std::string& target) {
    const auto split = RequestTarget::SplitAbsolute(target);
    if (!split)
        return;
    Require(!split->host.empty() && split->host.find_first_of("/?") == std::string::npos, "a host alone");
    Require(!split->path.empty() && split->path[0] == '/', "an origin-form path");
    const std::string joined = "http://" + split->host + split->path;
    Require(joined == target || "http://" + split->host + split->path.substr(1) == target,
            "the parts are the target as written");
}

// The client a trusted proxy names: an address that reads back as itself, in a group of its own
// kind; the login the books answer for it is a record.
void CheckForwarded(Fixture::Server& server, const std::string& header) {
    const auto client = ClientAddress::LastForwarded(header);
    if (!client)
        return;
    Require(ClientAddress::Parse(client->Text()) == client, "a forwarded client reads back as itself");
    const std::string group = client->Group();
    Require(ClientAddress::Parse(group.substr(0, group.find('/'))).has_value(), "a group is an address");
    RequireRecord(server.books.Tills().Login(QueryString::Parse("id=demo&password=x"), "h", client->Text()));
}

void CheckNumbers(const QueryString& query) {
    for (const auto& [key, value] : query.Items()) {
        if (const auto amount = Numbers::ParseAmount(value)) {
            Require(*amount >= 1 && *amount <= Numbers::kMaxAmount, "an amount in range");
            Require(value.find_first_not_of("0123456789") == std::string::npos, "an amount is digits");
        }
        if (const auto rate = Numbers::ParseRate(value)) {
            Require(*rate >= 0 && *rate <= 10'000, "a rate from 0 to 100 percent");
            Require(Numbers::MileageFor(Numbers::kMaxAmount, *rate) <= Numbers::kMaxAmount, "mileage within the amount");
        }
        if (const auto number = Numbers::ParseInteger(value, -5, 60'000))
            Require(*number >= -5 && *number <= 60'000, "an integer in range");
    }
}

void CheckRoute(Fixture::Server& server, const std::string& path, const QueryString& query) {
    const Routes::Route* route = server.routes.Find(path);
    if (!route)
        return;
    const std::string body = query.Get("body");
    const Routes::Reply reply = route->answer({path, query, "127.0.0.1:8480", body, "127.0.0.1"});
    if (route->serves == Routes::Serves::Downloads) {
        Require(reply.file.empty() == (path != "/downloads/Quillon-1.0.0.1-x64.msi"),
                "a listed package is served, and nothing else");
        return;
    }
    if (route->serves == Routes::Serves::Till) {
        if (path == "/android/poslogin.php")
            Require(reply.body[0] != '1' || reply.body.find("</>127.0.0.1:8480</>") != std::string::npos,
                    "an accepted login names the host the till reached");
        RequireRecord(reply.body);
    } else if (route->method == Routes::Method::Post && reply.redirect.empty()) {
        RequireRecord(reply.body);
    }
    server.faults.Find(query.Get("path"));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Fixture fixture;
    std::string target(reinterpret_cast<const char*>(data), size);
    CheckMasking(target);
    CheckAbsoluteForm(target);

    Fixture::Server& server = fixture.server(); // fresh books when due, and the device "@" stands for
    CheckForwarded(server, target);
    for (std::size_t at = target.find("deviceid=@"); at != std::string::npos;
         at = target.find("deviceid=@", at + 1))
        target.replace(at + 9, 1, fixture.device());
    const QueryString query = QueryString::FromTarget(target);
    CheckNumbers(query);
    CheckRoute(server, target.substr(0, target.find('?')), query);
    return 0;
}

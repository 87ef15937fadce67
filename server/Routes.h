// Every path quillon-server answers and what answers it: one table. The till's endpoints are its
// own rows; the simulation's API and the downloads add theirs. The HTTP layer (Router) hands each
// row to httplib, the fault table asks which paths are the till's endpoints, and the fuzz target
// drives the rows themselves. A row answers in plain values, without the HTTP layer.
//
// Filled before the server starts and read-only after: any request thread may look a path up
// and call its answer (as thread-safe as what the answer calls).
#pragma once

#include "server/Books.h"
#include "server/QueryString.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

class Routes {
public:
    static constexpr const char* kRecordType = "text/plain; charset=utf-8";

    // Who a path is for. The till's endpoints are logged and may carry a fault; the simulation's
    // rows exist only with --simulate; the downloads are the site's pages for people.
    enum class Serves { Till, Simulation, Downloads };
    enum class Method { Get, Post };

    // What a row is given of a request.
    struct Call {
        std::string_view path;    // decoded, without the query
        const QueryString& query; // of the target as it came
        std::string_view host;    // the host:port the client reached
        std::string_view body;
        std::string_view client; // the address the connection came from
    };
    struct Reply {
        int status = 200;
        std::string contentType = kRecordType;
        std::string body;
        std::string redirect; // a See Other to this target instead of a body
        std::string file;     // a file sent in pieces as an attachment of its name, instead of a body
    };
    using Answer = std::function<Reply(const Call&)>;
    struct Route {
        std::string path; // the whole path, or with `takesName` what comes before the name
        Method method = Method::Get;
        Serves serves = Serves::Till;
        Answer answer;
        bool takesName = false; // every path of `path` and a name (one segment, no '/')
    };

    // The till's endpoints, answered by the ledger of `books`.
    explicit Routes(Books& books);
    Routes(const Routes&) = delete;
    Routes& operator=(const Routes&) = delete;

    // The answer to a path that no row takes (404).
    static Reply Unknown();

    // Whether `path` is one of the till's endpoints, the only paths a fault can be armed on.
    static bool IsTillEndpoint(std::string_view path);
    // Whether `path` belongs to the simulation, served or not (the /app page's icon included):
    // such requests never go into the request log.
    static bool IsSimulation(std::string_view path);

    void Add(Route route);
    // Called with the device id of every get-result the books accept, from request threads.
    void FollowPolls(std::function<void(const std::string& deviceId)> polled);

    // The row that takes `path`; nullptr for none.
    const Route* Find(std::string_view path) const;
    const std::vector<Route>& All() const { return m_routes; }

private:
    std::vector<Route> m_routes;
    std::function<void(const std::string&)> m_polled;
};

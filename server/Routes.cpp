#include "server/Routes.h"

#include "server/Record.h"

#include <array>

namespace {

struct TillEndpoint {
    std::string_view path;
    std::string (*answer)(Books& books, const Routes::Call& call);
    bool poll = false; // the get-result a waiting till repeats, by which the /app page follows it
};

constexpr std::array<TillEndpoint, 6> kTillEndpoints{{
    {"/android/poslogin.php",
     [](Books& b, const Routes::Call& c) { return b.Tills().Login(c.query, c.host, c.client); }},
    {"/android/pcposmilege.php",
     [](Books& b, const Routes::Call& c) { return b.Tills().Operation(c.query); }},
    {"/android/pcposgetmilegeret.php",
     [](Books& b, const Routes::Call& c) { return b.Tills().GetResult(c.query); }, true},
    {"/android/deleteposdata.php",
     [](Books& b, const Routes::Call& c) { return b.Tills().DeleteData(c.query); }},
    {"/sms_client_v10/pctelmilege.php",
     [](Books& b, const Routes::Call& c) { return b.Tills().TextMessage(c.query); }},
    {"/android/processcancel.php",
     [](Books& b, const Routes::Call& c) { return b.Tills().CancelNotice(c.query); }},
}};

} // namespace

Routes::Routes(Books& books) {
    for (const TillEndpoint& endpoint : kTillEndpoints) {
        Add({std::string(endpoint.path), Method::Get, Serves::Till,
             [this, &books, endpoint](const Call& call) {
                 Reply reply;
                 reply.body = endpoint.answer(books, call);
                 // Only a till the books know is followed: an unknown device id is the one
                 // refusal a get-result gets.
                 if (endpoint.poll && m_polled && reply.body.starts_with("1"))
                     m_polled(call.query.Get("deviceid"));
                 return reply;
             }});
    }
}

Routes::Reply Routes::Unknown() {
    Reply reply;
    reply.status = 404;
    reply.body = Record::Refused("없는 주소입니다");
    return reply;
}

bool Routes::IsTillEndpoint(std::string_view path) {
    for (const TillEndpoint& endpoint : kTillEndpoints) {
        if (endpoint.path == path)
            return true;
    }
    return false;
}

bool Routes::IsSimulation(std::string_view path) {
    return path.starts_with("/sim/") || path == "/app" || path == "/favicon.ico";
}

void Routes::Add(Route route) {
    m_routes.push_back(std::move(route));
}

void Routes::FollowPolls(std::function<void(const std::string& deviceId)> polled) {
    m_polled = std::move(polled);
}

const Routes::Route* Routes::Find(std::string_view path) const {
    for (const Route& route : m_routes) {
        const bool named = route.takesName && path.size() > route.path.size() &&
                           path.starts_with(route.path) &&
                           path.find('/', route.path.size()) == std::string_view::npos;
        if (route.takesName ? named : path == route.path)
            return &route;
    }
    return nullptr;
}

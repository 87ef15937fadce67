#include "server/SimulationApi.h"

#include "server/Numbers.h"
#include "server/Record.h"

namespace {

// The books' clock (operations' opening times), for the till activity on the /app page.
std::int64_t UnixMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

Routes::Reply Text(std::string body) {
    Routes::Reply reply;
    reply.body = std::move(body);
    return reply;
}

} // namespace

SimulationApi::SimulationApi(Books& books, FaultTable& faults, RequestLog& requests,
                             DropConnects dropConnects, const std::atomic<bool>& stopping)
    : m_books(books), m_faults(faults), m_requests(requests), m_dropConnects(std::move(dropConnects)),
      m_stopping(stopping) {}

SimulationApi::~SimulationApi() {
    Stop();
}

void SimulationApi::Stop() {
    if (m_blackholeWatcher.joinable())
        m_blackholeWatcher.join();
}

void SimulationApi::AddTo(Routes& routes) {
    using Method = Routes::Method;
    using Call = Routes::Call;
    const auto add = [&routes](const char* path, Method method, Routes::Answer answer) {
        routes.Add({path, method, Routes::Serves::Simulation, std::move(answer)});
    };
    add("/sim/confirm", Method::Post, [this](const Call& call) { return Confirm(call); });
    add("/app", Method::Get, [this](const Call& call) { return App(call); });
    add("/sim/requests", Method::Get, [this](const Call&) { return Text(m_requests.Text()); });
    // The request log's clock, for a client that times something against the log's lines.
    add("/sim/clock", Method::Get,
        [this](const Call&) { return Text(Record::Accepted().Add(m_requests.Now()).Text()); });
    add("/sim/sms", Method::Get, [this](const Call&) { return Text(m_books.Tills().Outbox()); });
    add("/sim/reset", Method::Post, [this](const Call&) {
        m_requests.Clear();
        m_books.Tills().ClearOutbox();
        m_faults.Clear();
        return Text("1");
    });
    add("/sim/shop", Method::Post, [this](const Call& call) { return SetShop(call); });
    add("/sim/fault", Method::Post,
        [this](const Call& call) { return Text(m_faults.Arm(call.query, std::string(call.body))); });
    add("/sim/blackhole", Method::Post, [this](const Call& call) { return Blackhole(call); });
    add("/sim/echo", Method::Get, [](const Call& call) {
        Record record = Record::Accepted();
        for (const auto& [key, value] : call.query.Items())
            record.Add(key + "=" + value);
        return Text(record.Text());
    });
    routes.FollowPolls([this](const std::string& deviceId) { m_tills.Polled(deviceId, UnixMs()); });
}

Routes::Reply SimulationApi::Confirm(const Routes::Call& call) {
    // The /app page posts its form: the customer arrives in the body, with '+' for a space.
    const QueryString form = QueryString::Parse(std::string(call.body), true);
    std::string customer = call.query.Get("customer");
    if (customer.empty())
        customer = form.Get("customer");
    const std::string answer = m_books.Tills().Confirm(call.query.Get("deviceid"), customer);
    if (!call.query.Has("from"))
        return Text(answer);
    const std::string notice = answer.starts_with("1") ? "확인했습니다: " + call.query.Get("deviceid")
                                                       : answer.substr(answer.find("</>") + 3);
    Routes::Reply reply;
    reply.redirect = "/app?notice=" + AppPage::EncodeQueryValue(notice);
    return reply;
}

Routes::Reply SimulationApi::App(const Routes::Call& call) {
    Routes::Reply reply;
    reply.contentType = "text/html; charset=utf-8";
    reply.body = AppPage::Render(m_books.Tills().Pending(), m_books.Tills().Customers(),
                                 call.query.Get("notice"), m_tills, UnixMs());
    return reply;
}

// Sets any of the rate, coins and version of shop `id`, checked as the operator's `shop set` checks them.
Routes::Reply SimulationApi::SetShop(const Routes::Call& call) {
    const QueryString& query = call.query;
    ShopChange change;
    switch (ShopChange::Parse(query.Find("rate"), query.Find("coins"), query.Find("version"), change)) {
    case ShopChange::Bad::Rate:
        return Text(Record::Refused("적립률이 올바르지 않습니다"));
    case ShopChange::Bad::Coins:
        return Text(Record::Refused("코인 수가 올바르지 않습니다"));
    case ShopChange::Bad::Nothing:
        break;
    }
    if (!m_books.Shops().Change(query.Get("id"), change))
        return Text(Record::Refused("등록되지 않은 상점입니다"));
    return Text(Record::Accepted().Text());
}

// The port accepts nothing for `ms` milliseconds (at most a minute), then again as before.
Routes::Reply SimulationApi::Blackhole(const Routes::Call& call) {
    const auto ms = Numbers::ParseInteger(call.query.Get("ms"), 1, 60'000);
    if (!ms)
        return Text(Record::Refused("blackhole needs ms=1..60000"));
    if (!m_dropConnects(true))
        return Text(Record::Refused("the socket takes no filter"));
    // Lifted by the watcher, which Stop() joins; this connection exists and is not dropped.
    std::lock_guard<std::mutex> hold(m_blackholeLock);
    m_blackholeUntil = std::chrono::steady_clock::now() + std::chrono::milliseconds(*ms);
    if (!m_blackholeWatcher.joinable()) {
        m_blackholeWatcher = std::thread([this] {
            while (!m_stopping) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                std::lock_guard<std::mutex> check(m_blackholeLock);
                if (m_blackholeUntil && std::chrono::steady_clock::now() >= *m_blackholeUntil) {
                    m_dropConnects(false);
                    m_blackholeUntil.reset();
                }
            }
        });
    }
    return Text(Record::Accepted().Text());
}

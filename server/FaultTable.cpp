#include "server/FaultTable.h"

#include "server/Numbers.h"
#include "server/Record.h"
#include "server/Routes.h"

#include <algorithm>
#include <string_view>

namespace {

// A whole number parameter within [min, max].
std::optional<std::int64_t> Number(const QueryString& query, std::string_view key, std::int64_t min,
                                   std::int64_t max) {
    return Numbers::ParseInteger(query.Get(key), min, max);
}

// The same, `otherwise` when the parameter is left out or empty.
std::optional<std::int64_t> NumberOr(const QueryString& query, std::string_view key, std::int64_t otherwise,
                                     std::int64_t min, std::int64_t max) {
    return query.Get(key).empty() ? std::optional<std::int64_t>(otherwise) : Number(query, key, min, max);
}

} // namespace

std::string FaultTable::Arm(const QueryString& query, const std::string& body) {
    std::string path = query.Get("path");
    if (!path.empty() && path.front() != '/')
        path.insert(path.begin(), '/');
    if (!Routes::IsTillEndpoint(path))
        return Record::Refused("unknown endpoint path: " + path);

    constexpr std::int64_t kHour = 3'600'000;
    const std::string mode = query.Get("mode");
    Fault fault;
    if (mode == "off") {
        std::lock_guard lock(m_lock);
        m_faults.erase(path);
        return Record::Accepted().Text();
    } else if (mode == "delay") {
        const auto ms = Number(query, "ms", 0, kHour);
        if (!ms)
            return Record::Refused("delay needs ms=0..3600000");
        fault.mode = Fault::Mode::Delay;
        fault.ms = *ms;
    } else if (mode == "hang") {
        fault.mode = Fault::Mode::Hang;
    } else if (mode == "refuse") {
        fault.mode = Fault::Mode::Refuse;
    } else if (mode == "reset") {
        const auto after = Number(query, "after", 0, 1'000'000'000);
        if (!after)
            return Record::Refused("reset needs after=N (body bytes)");
        fault.mode = Fault::Mode::Reset;
        fault.after = *after;
    } else if (mode == "slow" || mode == "trickle") {
        const auto chunk = Number(query, "chunk", 1, 1'000'000'000);
        const auto ms = Number(query, "ms", 0, kHour);
        if (!chunk || !ms)
            return Record::Refused(mode + " needs chunk=1.. and ms=0..3600000");
        fault.mode = mode == "slow" ? Fault::Mode::Slow : Fault::Mode::Trickle;
        fault.chunk = *chunk;
        fault.ms = *ms;
    } else if (mode == "body") {
        // An error page of a proxy or of a failing script: any bytes with any status.
        const auto code = NumberOr(query, "status", 200, 200, 599);
        if (!code)
            return Record::Refused("body takes status=200..599");
        fault.mode = Fault::Mode::Body;
        fault.body = body;
        fault.status = static_cast<int>(*code);
    } else if (mode == "redirect") {
        // A site's front or a proxy that sends the client on elsewhere, to any scheme.
        const std::string to = query.Get("to");
        const auto status = NumberOr(query, "code", 302, 300, 399);
        const bool oneLine =
            std::none_of(to.begin(), to.end(), [](unsigned char c) { return c < 0x20 || c == 0x7F; });
        if (!status || to.empty() || !oneLine)
            return Record::Refused("redirect needs to=URL (one line) and takes code=300..399");
        fault.mode = Fault::Mode::Redirect;
        fault.status = static_cast<int>(*status);
        fault.body = to;
    } else if (mode == "status") {
        const auto code = Number(query, "code", 200, 599);
        if (!code)
            return Record::Refused("status needs code=200..599");
        fault.mode = Fault::Mode::Status;
        fault.status = static_cast<int>(*code);
    } else {
        return Record::Refused("unknown mode: " + mode);
    }
    std::lock_guard lock(m_lock);
    m_faults[path] = std::move(fault);
    return Record::Accepted().Text();
}

std::optional<Fault> FaultTable::Find(const std::string& path) const {
    std::lock_guard lock(m_lock);
    const auto it = m_faults.find(path);
    if (it == m_faults.end())
        return std::nullopt;
    return it->second;
}

void FaultTable::Clear() {
    std::lock_guard lock(m_lock);
    m_faults.clear();
}

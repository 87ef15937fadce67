#include "tests/support/SimClient.h"

#include <cstdlib>
#include <sstream>

namespace {

bool Accepted(const SimReply& reply) {
    if (reply.status != 200)
        return false;
    const std::string_view body = reply.body;
    return body.substr(0, body.find("</>")) == "1";
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty())
            lines.push_back(line);
    }
    return lines;
}

} // namespace

int SimClient::PortFromEnvironment() {
    const char* value = std::getenv("QUILLON_TEST_PORT");
    return value ? std::atoi(value) : 0;
}

std::string SimClient::HostPort() const {
    return "127.0.0.1:" + std::to_string(m_port);
}

SimReply SimClient::Get(std::string_view target) const {
    return Exchange("GET", target, {});
}

SimReply SimClient::Post(std::string_view target, std::string_view body) const {
    return Exchange("POST", target, body);
}

bool SimClient::Reset() const {
    return Accepted(Post("/sim/reset"));
}

bool SimClient::Confirm(std::string_view deviceId, std::string_view customer) const {
    std::string target = "/sim/confirm?deviceid=" + Encode(deviceId);
    if (!customer.empty())
        target += "&customer=" + Encode(customer);
    return Accepted(Post(target));
}

bool SimClient::ArmFault(std::string_view path, std::string_view mode, std::string_view body) const {
    return Accepted(Post("/sim/fault?path=" + Encode(path) + "&mode=" + std::string(mode), body));
}

bool SimClient::DisarmFault(std::string_view path) const {
    return ArmFault(path, "off");
}

bool SimClient::SetShop(std::string_view shopId, std::string_view settings) const {
    std::string target = "/sim/shop?id=" + Encode(shopId);
    if (!settings.empty())
        target += "&" + std::string(settings);
    return Accepted(Post(target));
}

std::vector<std::string> SimClient::RequestTargets() const {
    std::vector<std::string> targets;
    for (const std::string& line : Lines(Get("/sim/requests").body)) {
        const std::size_t space = line.find(' ');
        targets.push_back(space == std::string::npos ? line : line.substr(space + 1));
    }
    return targets;
}

std::vector<std::vector<std::string>> SimClient::SmsOutbox() const {
    std::vector<std::vector<std::string>> messages;
    for (const std::string& line : Lines(Get("/sim/sms").body)) {
        std::vector<std::string> columns;
        std::size_t start = 0;
        while (true) {
            const std::size_t tab = line.find('\t', start);
            columns.push_back(line.substr(start, tab - start));
            if (tab == std::string::npos)
                break;
            start = tab + 1;
        }
        messages.push_back(std::move(columns));
    }
    return messages;
}

std::string SimClient::Encode(std::string_view utf8) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char ch : utf8) {
        const auto c = static_cast<unsigned char>(ch);
        const bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                                c == '-' || c == '.' || c == '_' || c == '~';
        if (unreserved) {
            out.push_back(ch);
        } else {
            out.push_back('%');
            out.push_back(kHex[c >> 4]);
            out.push_back(kHex[c & 0x0F]);
        }
    }
    return out;
}

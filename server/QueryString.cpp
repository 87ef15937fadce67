#include "server/QueryString.h"

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

std::string QueryString::Decode(std::string_view text, bool plusIsSpace) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '%' && i + 2 < text.size()) {
            const int hi = HexValue(text[i + 1]);
            const int lo = HexValue(text[i + 2]);
            if (hi >= 0 && lo >= 0) {
                out.push_back(static_cast<char>(hi * 16 + lo));
                i += 2;
                continue;
            }
        }
        out.push_back(plusIsSpace && c == '+' ? ' ' : c);
    }
    return out;
}

QueryString QueryString::FromTarget(std::string_view target) {
    const auto mark = target.find('?');
    if (mark == std::string_view::npos)
        return {};
    return Parse(target.substr(mark + 1));
}

QueryString QueryString::Parse(std::string_view text, bool plusIsSpace) {
    QueryString query;
    std::size_t start = 0;
    while (start <= text.size()) {
        auto end = text.find('&', start);
        if (end == std::string_view::npos)
            end = text.size();
        const auto part = text.substr(start, end - start);
        if (!part.empty()) {
            const auto eq = part.find('=');
            if (eq == std::string_view::npos) {
                query.m_items.emplace_back(Decode(part, plusIsSpace), std::string());
            } else {
                query.m_items.emplace_back(Decode(part.substr(0, eq), plusIsSpace),
                                           Decode(part.substr(eq + 1), plusIsSpace));
            }
        }
        start = end + 1;
    }
    return query;
}

std::optional<std::string> QueryString::Find(std::string_view key) const {
    for (const auto& [k, v] : m_items) {
        if (k == key)
            return v;
    }
    return std::nullopt;
}

std::string QueryString::Get(std::string_view key) const {
    return Find(key).value_or(std::string());
}

#include "server/RequestTarget.h"

#include "server/QueryString.h"

#include <strings.h>

std::string RequestTarget::MaskPasswords(std::string_view target) {
    std::string out(target);
    std::size_t at = out.find('?');
    while (at != std::string::npos) {
        const std::size_t start = at + 1;
        std::size_t end = out.find('&', start);
        if (end == std::string::npos)
            end = out.size();
        const std::size_t eq = out.find('=', start);
        if (eq != std::string::npos && eq < end) {
            const std::string key = QueryString::Decode(out.substr(start, eq - start));
            if (strcasecmp(key.c_str(), "password") == 0) {
                out.replace(eq + 1, end - eq - 1, "***");
                end = eq + 4;
            }
        }
        at = end < out.size() ? end : std::string::npos;
    }
    return out;
}

std::optional<RequestTarget::Absolute> RequestTarget::SplitAbsolute(std::string_view target) {
    constexpr std::string_view kScheme = "http://";
    if (target.substr(0, kScheme.size()) != kScheme)
        return std::nullopt;
    const std::string_view rest = target.substr(kScheme.size());
    const std::size_t hostEnd = std::min(rest.find_first_of("/?"), rest.size());
    if (hostEnd == 0)
        return std::nullopt;
    Absolute split{std::string(rest.substr(0, hostEnd)), std::string(rest.substr(hostEnd))};
    if (split.path.empty() || split.path.front() != '/')
        split.path.insert(split.path.begin(), '/');
    return split;
}

// The parameters of a request, parsed from the raw request target rather than taken from the HTTP
// layer: the client encodes a space as %20 and a '+' as %2B, so a '+' in a query is a literal '+',
// and /sim/echo must see the parameters in the order they were sent.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class QueryString {
public:
    QueryString() = default;

    // The query part of a request target (what follows the first '?'; the whole text when there
    // is none is NOT taken as a query). Keys and values are percent-decoded; a '%' that is not
    // followed by two hex digits stays as it is. A parameter without '=' has an empty value.
    static QueryString FromTarget(std::string_view target);
    // A query text on its own ("a=1&b=2"). An HTML form body encodes a space as '+': pass
    // plusIsSpace for those.
    static QueryString Parse(std::string_view text, bool plusIsSpace = false);

    // The first value of `key`, or nothing when the key is absent.
    std::optional<std::string> Find(std::string_view key) const;
    // The first value of `key`, or "" when it is absent.
    std::string Get(std::string_view key) const;
    bool Has(std::string_view key) const { return Find(key).has_value(); }

    const std::vector<std::pair<std::string, std::string>>& Items() const { return m_items; }

    static std::string Decode(std::string_view text, bool plusIsSpace = false);

private:
    std::vector<std::pair<std::string, std::string>> m_items;
};

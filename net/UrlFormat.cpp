#include "net/UrlFormat.h"

#include "net/Text.h"

#include <algorithm>
#include <vector>

namespace {

bool IsUnreserved(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_' || c == '~';
}

void AppendEncoded(std::u16string& out, std::u16string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (const char ch : quillon::Utf16ToUtf8(text)) {
        const auto c = static_cast<unsigned char>(ch);
        if (IsUnreserved(c)) {
            out.push_back(c);
        } else {
            out.push_back(u'%');
            out.push_back(static_cast<char16_t>(kHex[c >> 4]));
            out.push_back(static_cast<char16_t>(kHex[c & 0x0F]));
        }
    }
}

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }
bool IsHex(char16_t c) { return IsDigit(c) || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F'); }
bool IsLetter(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }
bool AllDigits(std::u16string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), IsDigit);
}

// The pieces of `text` between the `at` characters, empty ones included.
std::vector<std::u16string_view> Split(std::u16string_view text, char16_t at) {
    std::vector<std::u16string_view> pieces;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = std::min(text.find(at, start), text.size());
        pieces.push_back(text.substr(start, end - start));
        if (end == text.size())
            return pieces;
        start = end + 1;
    }
}

// A decimal number of at most `maxDigits` digits no greater than `max`.
bool IsNumberUpTo(std::u16string_view text, std::size_t maxDigits, int max) {
    if (!AllDigits(text) || text.size() > maxDigits)
        return false;
    int value = 0;
    for (const char16_t c : text)
        value = value * 10 + (c - u'0');
    return value <= max;
}

bool IsIpv4(std::u16string_view text) {
    const auto parts = Split(text, u'.');
    return parts.size() == 4 && std::all_of(parts.begin(), parts.end(),
                                            [](std::u16string_view part) { return IsNumberUpTo(part, 3, 255); });
}

bool IsDnsName(std::u16string_view text) {
    if (text.empty() || text.size() > 253)
        return false;
    const auto labels = Split(text, u'.');
    // All-numeric labels make an address, which must then be a whole IPv4 one.
    if (std::all_of(labels.begin(), labels.end(), AllDigits))
        return IsIpv4(text);
    return std::all_of(labels.begin(), labels.end(), [](std::u16string_view label) {
        return !label.empty() && label.size() <= 63 && label.front() != u'-' && label.back() != u'-' &&
               std::all_of(label.begin(), label.end(), [](char16_t c) { return IsLetter(c) || IsDigit(c) || c == u'-'; });
    });
}

bool IsIpv6(std::u16string_view text) {
    const std::size_t gap = text.find(u"::");
    if (gap != std::u16string_view::npos && text.find(u"::", gap + 1) != std::u16string_view::npos)
        return false;
    std::size_t groups = 0;
    auto countGroups = [&](std::u16string_view side, bool mayEndInIpv4) {
        if (side.empty())
            return true;
        const auto parts = Split(side, u':');
        for (std::size_t i = 0; i < parts.size(); ++i) {
            const auto part = parts[i];
            if (mayEndInIpv4 && i + 1 == parts.size() && IsIpv4(part)) {
                groups += 2;
            } else if (!part.empty() && part.size() <= 4 && std::all_of(part.begin(), part.end(), IsHex)) {
                ++groups;
            } else {
                return false;
            }
        }
        return true;
    };
    if (gap == std::u16string_view::npos)
        return countGroups(text, true) && groups == 8;
    return countGroups(text.substr(0, gap), false) && countGroups(text.substr(gap + 2), true) && groups <= 7;
}

bool IsPort(std::u16string_view text) { return IsNumberUpTo(text, 5, 65535) && !IsNumberUpTo(text, 5, 0); }

} // namespace

int FormatUrl(char16_t* dest, std::size_t capacity, std::u16string_view tmpl, std::initializer_list<UrlArg> args) {
    std::u16string out;
    auto next = args.begin();
    for (std::size_t i = 0; i < tmpl.size(); ++i) {
        const char16_t c = tmpl[i];
        if (c != u'%' || i + 1 >= tmpl.size()) {
            out.push_back(c);
            continue;
        }
        const char16_t conversion = tmpl[++i];
        if (conversion == u'%') {
            out.push_back(c);
            continue;
        }
        if (next == args.end())
            return 0; // more conversions than arguments: a programming error, refused
        const UrlArg& arg = *next++;
        if (conversion == u's' && arg.kind == UrlArg::Kind::Verbatim) {
            out.append(arg.text);
        } else if (conversion == u's' && arg.kind == UrlArg::Kind::Query) {
            AppendEncoded(out, arg.text);
        } else if (conversion == u'd' && arg.kind == UrlArg::Kind::Number) {
            const std::string digits = std::to_string(arg.number);
            out.append(digits.begin(), digits.end());
        } else {
            return 0;
        }
    }
    if (next != args.end() || capacity == 0 || out.size() > capacity - 1)
        return 0;
    std::copy(out.begin(), out.end(), dest);
    dest[out.size()] = 0;
    return 1;
}

std::u16string PercentEncode(std::u16string_view text) {
    std::u16string out;
    AppendEncoded(out, text);
    return out;
}

bool IsHostAndPort(std::u16string_view text) {
    const bool bracketed = !text.empty() && text.front() == u'[';
    const std::size_t hostEnd = bracketed ? text.find(u']') : std::min(text.find(u':'), text.size());
    if (hostEnd == std::u16string_view::npos)
        return false;
    const std::u16string_view host = bracketed ? text.substr(1, hostEnd - 1) : text.substr(0, hostEnd);
    const std::u16string_view rest = text.substr(bracketed ? hostEnd + 1 : hostEnd);
    if (!rest.empty() && (rest.front() != u':' || !IsPort(rest.substr(1))))
        return false;
    return bracketed ? IsIpv6(host) : IsDnsName(host);
}

// Bounded URL formatting. A template holds %s and %d conversions; each argument says how it goes
// in: a host verbatim, a query value percent-encoded as UTF-8 (unreserved characters unchanged),
// or a signed 32-bit number in decimal. A URL that does not fit its destination is refused: the
// formatter returns 0 and leaves the destination exactly as it was, so a request is never cut
// into a different one. 1 when it fits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

struct UrlArg {
    enum class Kind { Verbatim, Query, Number };
    Kind kind;
    std::u16string_view text;
    std::int32_t number = 0;
};

inline UrlArg Host(const char16_t* text) { return {UrlArg::Kind::Verbatim, text ? text : u"", 0}; }
inline UrlArg Query(const char16_t* text) { return {UrlArg::Kind::Query, text ? text : u"", 0}; }
inline UrlArg Number(std::int32_t value) { return {UrlArg::Kind::Number, {}, value}; }

// Wide formatter for every request URL but the login's; capacity 500 (g_requestUrl).
int FormatUrl(char16_t* dest, std::size_t capacity, std::u16string_view tmpl, std::initializer_list<UrlArg> args);

// Percent-encodes UTF-16 text as UTF-8 (RFC 3986 unreserved characters stay as they are).
std::u16string PercentEncode(std::u16string_view text);

// A server host as login reply field 5 must name it, and as every later URL takes it verbatim
// after "http://": a DNS name (letters, digits and hyphens in dot-separated labels), an IPv4
// address, or an IPv6 address in brackets, then optionally ':' and a port 1..65535. Nothing else:
// a '/', '?', '#', '@', blank or any other character would make the URL another request.
bool IsHostAndPort(std::u16string_view text);

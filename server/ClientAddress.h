// Who a request comes from: one notion for every bound that counts clients (the connection caps,
// the login throttle) and for the log line. An IPv4 address is one client, and so is the same
// address in the IPv4-mapped form a dual-stack socket reports; an IPv6 client counts by its /64,
// which one host may hold whole and take a new source address from at will.
//
// Parses outside input (a forwarded-for header a trusted proxy sets): fuzzed.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

struct sockaddr;

class ClientAddress {
public:
    // "192.0.2.1", "2001:db8::1" or "::ffff:192.0.2.1"; nothing for any other text (a port,
    // brackets, a zone, a space, a name).
    static std::optional<ClientAddress> Parse(std::string_view text);
    // The peer of a connection (AF_INET or AF_INET6); nothing for another family.
    static std::optional<ClientAddress> FromSocket(const sockaddr& peer);
    // The address that the last proxy appended to an X-Forwarded-For value ("client, proxy1"): its
    // last element. Those before it are whatever the client wrote, and never taken.
    static std::optional<ClientAddress> LastForwarded(std::string_view header);

    // As shown in the log: an IPv4-mapped address as IPv4.
    std::string Text() const;
    // What the bounds count by: an IPv4 address whole, an IPv6 one as its /64 ("2001:db8:1:2::/64").
    std::string Group() const;

    bool operator==(const ClientAddress&) const = default;

private:
    ClientAddress(bool v4, const unsigned char* bytes);

    bool m_v4 = true;
    std::array<unsigned char, 16> m_bytes{}; // an IPv4 address in the first four
};

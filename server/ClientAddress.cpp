#include "server/ClientAddress.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <cstring>

ClientAddress::ClientAddress(bool v4, const unsigned char* bytes) : m_v4(v4) {
    std::memcpy(m_bytes.data(), bytes, v4 ? 4 : 16);
}

std::optional<ClientAddress> ClientAddress::Parse(std::string_view text) {
    // inet_pton wants a terminated string and stops at none of our separators: a copy, bounded.
    if (text.empty() || text.size() > INET6_ADDRSTRLEN)
        return std::nullopt;
    const std::string copy(text);
    in_addr v4{};
    if (inet_pton(AF_INET, copy.c_str(), &v4) == 1)
        return ClientAddress(true, reinterpret_cast<const unsigned char*>(&v4));
    in6_addr v6{};
    if (inet_pton(AF_INET6, copy.c_str(), &v6) != 1)
        return std::nullopt;
    if (IN6_IS_ADDR_V4MAPPED(&v6))
        return ClientAddress(true, v6.s6_addr + 12);
    return ClientAddress(false, v6.s6_addr);
}

std::optional<ClientAddress> ClientAddress::FromSocket(const sockaddr& peer) {
    if (peer.sa_family == AF_INET)
        return ClientAddress(true, reinterpret_cast<const unsigned char*>(
                                       &reinterpret_cast<const sockaddr_in&>(peer).sin_addr));
    if (peer.sa_family != AF_INET6)
        return std::nullopt;
    const in6_addr& v6 = reinterpret_cast<const sockaddr_in6&>(peer).sin6_addr;
    if (IN6_IS_ADDR_V4MAPPED(&v6))
        return ClientAddress(true, v6.s6_addr + 12);
    return ClientAddress(false, v6.s6_addr);
}

std::optional<ClientAddress> ClientAddress::LastForwarded(std::string_view header) {
    std::string_view last = header.substr(header.find_last_of(',') + 1);
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!last.empty() && blank(last.front()))
        last.remove_prefix(1);
    while (!last.empty() && blank(last.back()))
        last.remove_suffix(1);
    return Parse(last);
}

std::string ClientAddress::Text() const {
    char text[INET6_ADDRSTRLEN] = "";
    inet_ntop(m_v4 ? AF_INET : AF_INET6, m_bytes.data(), text, sizeof text);
    return text;
}

std::string ClientAddress::Group() const {
    if (m_v4)
        return Text();
    ClientAddress prefix = *this;
    std::fill(prefix.m_bytes.begin() + 8, prefix.m_bytes.end(), 0);
    return prefix.Text() + "/64";
}

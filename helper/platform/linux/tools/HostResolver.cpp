#include "HostResolver.h"

#include <arpa/inet.h>
#include <cstring>
#include <netdb.h>

namespace torvane::tools {

Expected<netlink::Ipv4Address, std::string> resolveIpv4Host(const std::string& host) {
    if (const auto numeric = netlink::parseIpv4Address(host)) {
        return *numeric;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM; // one entry per address, not one per socket type
    addrinfo* results = nullptr;
    const int status = getaddrinfo(host.c_str(), nullptr, &hints, &results);
    if (status != 0) {
        return Unexpected{"cannot resolve " + host + ": " + gai_strerror(status)};
    }
    std::optional<netlink::Ipv4Address> address;
    for (const addrinfo* entry = results; entry != nullptr && !address; entry = entry->ai_next) {
        if (entry->ai_family == AF_INET && entry->ai_addrlen >= sizeof(sockaddr_in)) {
            sockaddr_in raw{};
            std::memcpy(&raw, entry->ai_addr, sizeof raw);
            address = ntohl(raw.sin_addr.s_addr);
        }
    }
    freeaddrinfo(results);
    if (!address) {
        return Unexpected{"cannot resolve " + host + ": no IPv4 address"};
    }
    return *address;
}

} // namespace torvane::tools

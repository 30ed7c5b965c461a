#include "helper/platform/linux/HostResolver.h"

#include <arpa/inet.h>
#include <cstring>
#include <future>
#include <memory>
#include <netdb.h>
#include <thread>

namespace torvane::netlink {

namespace {

Expected<Ipv4Address, std::string> askResolver(const std::string& host) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM; // one entry per address, not one per socket type
    addrinfo* results = nullptr;
    const int status = getaddrinfo(host.c_str(), nullptr, &hints, &results);
    if (status != 0) {
        return Unexpected{"cannot resolve " + host + ": " + gai_strerror(status)};
    }
    std::optional<Ipv4Address> address;
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

} // namespace

Expected<Ipv4Address, std::string> resolveIpv4Host(const std::string& host,
                                                   std::chrono::milliseconds limit) {
    if (const auto numeric = parseIpv4Address(host)) {
        return *numeric;
    }
    // getaddrinfo has no time limit of its own; the caller must not hang on
    // a resolver that does not answer.
    auto answer = std::make_shared<std::promise<Expected<Ipv4Address, std::string>>>();
    auto future = answer->get_future();
    std::thread([answer, host] { answer->set_value(askResolver(host)); }).detach();
    if (future.wait_for(limit) != std::future_status::ready) {
        return Unexpected{"cannot resolve " + host + ": no answer in time"};
    }
    return future.get();
}

} // namespace torvane::netlink

#include "helper/platform/linux/NetlinkRouting.h"

#include "helper/platform/linux/NetlinkMessages.h"

#include <cerrno>
#include <optional>
#include <type_traits>
#include <utility>

namespace torvane::netlink {

namespace {

template <class Entry, class Decode>
Expected<std::vector<Entry>, NetlinkError> collect(NetlinkSocket& socket, NetlinkRequest request,
                                                   Decode decode, const char* operation) {
    std::vector<Entry> entries;
    const auto result = socket.transact(
        std::move(request),
        [&](const nlmsghdr& message) {
            auto decoded = decode(message);
            if constexpr (std::is_same_v<decltype(decoded), std::vector<Entry>>) {
                entries.insert(entries.end(), decoded.begin(), decoded.end());
            } else if (decoded) {
                entries.push_back(std::move(*decoded));
            }
        },
        operation);
    if (!result) {
        return Unexpected{result.error()};
    }
    return entries;
}

} // namespace

Expected<NetlinkRouting, NetlinkError> NetlinkRouting::open() {
    auto socket = NetlinkSocket::open();
    if (!socket) {
        return Unexpected{socket.error()};
    }
    return NetlinkRouting(std::move(*socket));
}

NetlinkRouting::NetlinkRouting(NetlinkSocket socket) : m_socket(std::move(socket)) {}

Expected<std::vector<RouteEntry>, NetlinkError> NetlinkRouting::routes() {
    return collect<RouteEntry>(m_socket, buildRouteDump(), decodeRoute, "listing routes");
}

Expected<std::vector<AddressEntry>, NetlinkError> NetlinkRouting::addresses() {
    return collect<AddressEntry>(m_socket, buildAddressDump(), decodeAddress, "listing addresses");
}

Expected<std::vector<LinkEntry>, NetlinkError> NetlinkRouting::links() {
    return collect<LinkEntry>(m_socket, buildLinkDump(), decodeLink, "listing interfaces");
}

NetlinkResult NetlinkRouting::addRoute(const RouteRequest& route) {
    return m_socket.transact(
        buildRouteAdd(route), [](const nlmsghdr&) {}, "adding a route");
}

NetlinkResult NetlinkRouting::deleteRoute(const RouteRequest& route) {
    return m_socket.transact(
        buildRouteDelete(route), [](const nlmsghdr&) {}, "deleting a route");
}

std::vector<NetlinkResult> NetlinkRouting::batch(std::vector<NetlinkRequest> requests,
                                                 const char* operation) {
    return m_socket.transactBatch(std::move(requests), operation);
}

NetlinkResult NetlinkRouting::deleteRule(std::uint8_t family, std::uint32_t priority,
                                         std::uint32_t table) {
    return m_socket.transact(
        buildRuleDelete(family, priority, table), [](const nlmsghdr&) {}, "deleting a rule");
}

NetlinkResult NetlinkRouting::deleteExactRoute(const RouteEntry& route) {
    return m_socket.transact(
        buildRouteDeleteExact(route), [](const nlmsghdr&) {}, "deleting a route");
}

Expected<RouteEntry, NetlinkError> NetlinkRouting::lookupRoute(Ipv4Address destination) {
    std::optional<RouteEntry> found;
    const auto result = m_socket.transact(
        buildRouteLookup(destination),
        [&found](const nlmsghdr& message) {
            const auto entries = decodeRoute(message);
            if (!found && !entries.empty()) {
                found = entries.front();
            }
        },
        "looking up a route");
    if (!result) {
        return Unexpected{result.error()};
    }
    if (!found) {
        return Unexpected{NetlinkError{ENOENT, "looking up a route"}};
    }
    return *found;
}

} // namespace torvane::netlink

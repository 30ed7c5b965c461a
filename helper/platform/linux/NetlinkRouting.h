#pragma once

#include "helper/platform/linux/AddressEntry.h"
#include "helper/platform/linux/LinkEntry.h"
#include "helper/platform/linux/NetlinkError.h"
#include "helper/platform/linux/NetlinkSocket.h"
#include "helper/platform/linux/RouteEntry.h"
#include "helper/platform/linux/RouteRequest.h"
#include "shared/Expected.h"

#include <cstdint>
#include <vector>

namespace torvane::netlink {

/// The IPv4 routing operations of the current network namespace, over one
/// netlink socket: listing routes, addresses and devices, changing the main
/// table, and asking the kernel's own route lookup. Every call is synchronous
/// and returns the kernel's errno on failure; nothing is retried or logged.
class NetlinkRouting {
public:
    static Expected<NetlinkRouting, NetlinkError> open();
    explicit NetlinkRouting(NetlinkSocket socket);

    /// Every IPv4 route of every table, in the kernel's order.
    Expected<std::vector<RouteEntry>, NetlinkError> routes();
    /// Every IPv4 address of every device, in the kernel's order.
    Expected<std::vector<AddressEntry>, NetlinkError> addresses();
    Expected<std::vector<LinkEntry>, NetlinkError> links();

    /// See buildRouteAdd / buildRouteDelete for what matches.
    NetlinkResult addRoute(const RouteRequest& route);
    NetlinkResult deleteRoute(const RouteRequest& route);

    /// Every request in one batch on this socket; one result each, in order.
    std::vector<NetlinkResult> batch(std::vector<NetlinkRequest> requests, const char* operation);

    /// See buildRuleDelete / buildRouteDeleteExact.
    NetlinkResult deleteRule(std::uint8_t family, std::uint32_t priority, std::uint32_t table);
    NetlinkResult deleteExactRoute(const RouteEntry& route);

    /// The routing entry the kernel would use for `destination`: for an
    /// address of this machine, the local table's entry on the device that
    /// holds it. Fails with the kernel's errno (ENETUNREACH, …) when nothing
    /// routes there.
    Expected<RouteEntry, NetlinkError> lookupRoute(Ipv4Address destination);

private:
    NetlinkSocket m_socket;
};

} // namespace torvane::netlink

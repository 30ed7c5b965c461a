#include "helper/platform/linux/RoutePlanning.h"

#include <linux/rtnetlink.h>
#include <net/if.h>

namespace torvane::netlink {

namespace {

bool isLoopback(const std::vector<LinkEntry>& links, int index) {
    for (const auto& link : links) {
        if (link.index == index) {
            return (link.flags & IFF_LOOPBACK) != 0;
        }
    }
    return false;
}

} // namespace

std::optional<int> deviceHoldingAddress(const std::vector<AddressEntry>& addresses,
                                        const std::vector<LinkEntry>& links, Ipv4Address address) {
    std::optional<int> loopback;
    for (const auto& entry : addresses) {
        if (entry.address != address) {
            continue;
        }
        if (!isLoopback(links, entry.interfaceIndex)) {
            return entry.interfaceIndex;
        }
        if (!loopback) {
            loopback = entry.interfaceIndex;
        }
    }
    return loopback;
}

RouteRequest routeThroughAddress(const Ipv4Prefix& destination, Ipv4Address via,
                                 std::optional<int> holder) {
    RouteRequest route;
    route.destination = destination;
    if (holder) {
        route.interfaceIndex = *holder;
        route.preferredSource = via;
        route.scope = RT_SCOPE_LINK;
    } else {
        route.gateway = via;
        route.scope = RT_SCOPE_UNIVERSE;
    }
    return route;
}

RouteRequest routeOnDevice(const Ipv4Prefix& destination, int interfaceIndex) {
    RouteRequest route;
    route.destination = destination;
    route.interfaceIndex = interfaceIndex;
    route.scope = RT_SCOPE_LINK;
    return route;
}

std::optional<RouteEntry> selectDefaultRoute(const std::vector<RouteEntry>& routes) {
    std::optional<RouteEntry> best;
    for (const auto& route : routes) {
        if (route.table != RT_TABLE_MAIN || route.destination.length != 0 ||
            route.type != RTN_UNICAST || (route.nexthopFlags & RTNH_F_DEAD) != 0) {
            continue;
        }
        if (!best || route.metric < best->metric) {
            best = route;
        }
    }
    return best;
}

std::optional<int> interfaceIndexByName(const std::vector<LinkEntry>& links,
                                        std::string_view name) {
    for (const auto& link : links) {
        if (link.name == name) {
            return link.index;
        }
    }
    return std::nullopt;
}

std::string interfaceNameByIndex(const std::vector<LinkEntry>& links, int index) {
    if (index <= 0) {
        return "-";
    }
    for (const auto& link : links) {
        if (link.index == index) {
            return link.name;
        }
    }
    return "if" + std::to_string(index);
}

} // namespace torvane::netlink

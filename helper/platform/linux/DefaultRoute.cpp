#include "DefaultRoute.h"

#include "NetlinkRouting.h"

#include <linux/rtnetlink.h>

namespace torvane {

std::optional<DefaultRoute> defaultRoute() {
    auto routing = netlink::NetlinkRouting::open();
    if (!routing) {
        return std::nullopt;
    }
    auto routes = routing->routes();
    if (!routes) {
        return std::nullopt;
    }
    std::optional<netlink::RouteEntry> best;
    for (const auto& route : *routes) {
        if (route.table == RT_TABLE_MAIN && route.destination.length == 0 &&
            route.type == RTN_UNICAST && route.interfaceIndex != 0 &&
            (!best || route.metric < best->metric)) {
            best = route;
        }
    }
    if (!best) {
        return std::nullopt;
    }
    auto links = routing->links();
    if (!links) {
        return std::nullopt;
    }
    for (const auto& link : *links) {
        if (link.index == best->interfaceIndex) {
            return DefaultRoute{link.name, best->gateway};
        }
    }
    return std::nullopt;
}

std::optional<std::string> defaultRouteInterface() {
    auto route = defaultRoute();
    if (!route) {
        return std::nullopt;
    }
    return route->interface;
}

} // namespace torvane

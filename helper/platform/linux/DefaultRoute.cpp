#include "helper/platform/linux/DefaultRoute.h"

#include "helper/platform/linux/NetlinkRouting.h"
#include "helper/platform/linux/RoutePlanning.h"

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
    // The same choice as the route backend's, so that the DNS store and
    // the gateway exclusion never disagree about the primary interface.
    const auto best = netlink::selectDefaultRoute(*routes);
    if (!best || best->interfaceIndex == 0) {
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

std::optional<std::string> routeInterfaceFor(const std::string& address) {
    const auto destination = netlink::parseIpv4Address(address);
    if (!destination) {
        return std::nullopt;
    }
    auto routing = netlink::NetlinkRouting::open();
    if (!routing) {
        return std::nullopt;
    }
    const auto route = routing->lookupRoute(*destination);
    if (!route || route->interfaceIndex == 0) {
        return std::nullopt;
    }
    auto links = routing->links();
    if (!links) {
        return std::nullopt;
    }
    for (const auto& link : *links) {
        if (link.index == route->interfaceIndex) {
            return link.name;
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

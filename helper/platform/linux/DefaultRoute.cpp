#include "helper/platform/linux/DefaultRoute.h"

#include "helper/platform/linux/NetlinkRouting.h"
#include "helper/platform/linux/RoutePlanning.h"

namespace torvane {

namespace {

/// The name of the device with `index`, or nothing.
std::optional<std::string> linkName(netlink::NetlinkRouting& routing, int index) {
    auto links = routing.links();
    if (!links) {
        return std::nullopt;
    }
    for (const auto& link : *links) {
        if (link.index == index) {
            return link.name;
        }
    }
    return std::nullopt;
}

} // namespace

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
    if (auto name = linkName(*routing, best->interfaceIndex)) {
        return DefaultRoute{std::move(*name), best->gateway};
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
    return linkName(*routing, route->interfaceIndex);
}

std::optional<std::string> defaultRouteInterface() {
    auto route = defaultRoute();
    if (!route) {
        return std::nullopt;
    }
    return route->interface;
}

std::optional<DefaultRoute>
primaryRoute(const std::function<std::optional<std::string>()>& primaryInterface) {
    if (!primaryInterface) {
        return defaultRoute();
    }
    if (auto interface = primaryInterface()) {
        return DefaultRoute{std::move(*interface), std::nullopt};
    }
    return std::nullopt;
}

} // namespace torvane

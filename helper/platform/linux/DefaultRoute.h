#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace torvane {

/// The interface and router of the main table's best IPv4 default route.
struct DefaultRoute {
    std::string interface;
    /// The gateway, in the netlink library's byte order; none when on-link.
    std::optional<std::uint32_t> router;
    friend bool operator==(const DefaultRoute&, const DefaultRoute&) = default;
};

/// The main table's IPv4 default route with the lowest metric, or nothing
/// without one (or when the routing table cannot be read).
std::optional<DefaultRoute> defaultRoute();

/// The interface of that route, or nothing without one.
std::optional<std::string> defaultRouteInterface();

/// The route the DNS stores take for the primary one: the interface
/// `primaryInterface` names (tests fix it), or the main table's default
/// route when it is empty.
std::optional<DefaultRoute>
primaryRoute(const std::function<std::optional<std::string>()>& primaryInterface);

/// The interface the kernel sends traffic for the IPv4 address `address`
/// through ("lo" for an address of this machine); nothing for anything else
/// or when nothing routes there.
std::optional<std::string> routeInterfaceFor(const std::string& address);

} // namespace torvane

#pragma once

#include <optional>
#include <set>
#include <string>
#include <string_view>

namespace torvane {

/// Readers of the route and netstat tools' output, used to find the tunnel
/// interface charon created. `interfacePrefix` is the platform's name stem
/// for those interfaces ("ipsec" on Linux, where kernel-libipsec's TUN
/// device is ipsec0). Pure functions: the engine runs the tools and logs.

/// For `route get VIP`: the name after "interface:" on the first such line
/// (trimmed of spaces and tabs) whose name starts with `interfacePrefix`.
std::optional<std::string> routeGetInterface(std::string_view output,
                                             std::string_view interfacePrefix);

/// A host route on a tunnel interface, as found in `netstat -rn -f inet`.
struct HostRouteInterface {
    std::string interfaceName;
    /// The route's destination, the virtual IP the interface carries.
    std::string destination;

    friend bool operator==(const HostRouteInterface&, const HostRouteInterface&) = default;
};

/// The first line of the routing table (columns destination, gateway, flags,
/// interface, separated by spaces) that is a point-to-point host route of a
/// tunnel: flags with "H" and without "L" (link-layer entries never count),
/// an interface starting with `interfacePrefix` and not in
/// `excludedInterfaces` (those other tunnels already hold), and a
/// destination equal to its gateway.
std::optional<HostRouteInterface>
netstatHostRouteInterface(std::string_view output, std::string_view interfacePrefix,
                          const std::set<std::string>& excludedInterfaces);

} // namespace torvane

#pragma once

#include "helper/platform/linux/Ipv4Prefix.h"

#include <cstdint>
#include <optional>

namespace torvane::netlink {

/// Routes this system installs carry their own protocol number. Deletes match
/// on it, so the daemon can only ever remove routes that it added itself,
/// never a route of the same prefix that the administrator or another VPN
/// owns. No well-known routing daemon uses this number.
inline constexpr std::uint8_t kTorvaneRouteProtocol = 116;

/// A route to add to or delete from the main table.
struct RouteRequest {
    Ipv4Prefix destination;
    std::optional<Ipv4Address> gateway{};
    /// Outgoing device; 0 lets the kernel find it from the gateway.
    int interfaceIndex = 0;
    std::optional<Ipv4Address> preferredSource{};
    /// RT_SCOPE_UNIVERSE for a route through a gateway, RT_SCOPE_LINK for a
    /// route straight onto a device.
    std::uint8_t scope = 0;

    friend bool operator==(const RouteRequest&, const RouteRequest&) = default;
};

} // namespace torvane::netlink

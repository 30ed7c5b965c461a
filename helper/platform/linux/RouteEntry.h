#pragma once

#include "helper/platform/linux/Ipv4Prefix.h"

#include <cstdint>
#include <optional>

namespace torvane::netlink {

/// One IPv4 route as the kernel reports it. A multipath route is reported as
/// one entry per next hop, in the kernel's order, so every entry has at most
/// one gateway and one device.
struct RouteEntry {
    Ipv4Prefix destination;
    /// Routing table id (RT_TABLE_MAIN, RT_TABLE_LOCAL, …).
    std::uint32_t table = 0;
    /// Route type (RTN_UNICAST, RTN_LOCAL, RTN_BLACKHOLE, …).
    std::uint8_t type = 0;
    /// Who installed it (RTPROT_KERNEL, RTPROT_BOOT, RTPROT_STATIC, …).
    std::uint8_t protocol = 0;
    std::uint8_t scope = 0;
    std::optional<Ipv4Address> gateway;
    /// Outgoing device; 0 when the route has none (blackhole, unreachable).
    int interfaceIndex = 0;
    std::optional<Ipv4Address> preferredSource;
    /// The route's metric (RTA_PRIORITY); lower wins.
    std::uint32_t metric = 0;
    /// RTNH_F_* flags of this next hop (dead, link down, on-link).
    std::uint32_t nexthopFlags = 0;

    friend bool operator==(const RouteEntry&, const RouteEntry&) = default;
};

} // namespace torvane::netlink

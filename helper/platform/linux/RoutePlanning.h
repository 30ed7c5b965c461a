#pragma once

#include "helper/platform/linux/AddressEntry.h"
#include "helper/platform/linux/LinkEntry.h"
#include "helper/platform/linux/RouteEntry.h"
#include "helper/platform/linux/RouteRequest.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace torvane::netlink {

/// The device that holds `address` as one of its own addresses. A real
/// device wins over loopback, so a tunnel's virtual IP is reported on the
/// tunnel even where the kernel answers lookups for it through `lo`.
std::optional<int> deviceHoldingAddress(const std::vector<AddressEntry>& addresses,
                                        const std::vector<LinkEntry>& links, Ipv4Address address);

/// A route to `destination` "through" `via`. When `via` is an address of
/// this machine (a tunnel's virtual IP) the route goes straight onto the
/// device that holds it with `via` as the source address, which is what a
/// point-to-point tunnel needs; otherwise `via` is the next-hop gateway.
RouteRequest routeThroughAddress(const Ipv4Prefix& destination, Ipv4Address via,
                                 std::optional<int> holder);

/// A route to `destination` straight onto a device.
RouteRequest routeOnDevice(const Ipv4Prefix& destination, int interfaceIndex);

/// The IPv4 default route of the main table that the kernel would use: a
/// usable unicast 0.0.0.0/0 with the lowest metric, the first one listed on
/// a tie. Routes that only cover parts of the address space (such as the
/// 0.0.0.0/1 and 128.0.0.0/1 halves a full tunnel installs) never count.
std::optional<RouteEntry> selectDefaultRoute(const std::vector<RouteEntry>& routes);

std::optional<int> interfaceIndexByName(const std::vector<LinkEntry>& links, std::string_view name);

/// The device name for an index; "-" for none, "if" + index when unknown.
std::string interfaceNameByIndex(const std::vector<LinkEntry>& links, int index);

} // namespace torvane::netlink

#pragma once

#include "helper/platform/linux/AddressEntry.h"
#include "helper/platform/linux/LinkEntry.h"
#include "helper/platform/linux/RouteEntry.h"
#include "helper/platform/linux/RouteRequest.h"

#include <cstddef>
#include <cstdint>
#include <linux/netlink.h>
#include <optional>
#include <vector>

namespace torvane::netlink {

/// One encoded rtnetlink request. Sequence number and port id are left 0;
/// the socket fills them in when it sends.
using NetlinkRequest = std::vector<char>;

/// Requests. Dumps list every IPv4 entry of the kind; filtering by table is
/// the caller's business, since older kernels ignore dump filters.
NetlinkRequest buildRouteDump();
NetlinkRequest buildAddressDump();
NetlinkRequest buildLinkDump();

/// Adds `route` to the main table, failing with EEXIST when a route to the
/// same prefix with the same metric is already there (whoever owns it).
NetlinkRequest buildRouteAdd(const RouteRequest& route);

/// Deletes one route to `route.destination` from the main table, and only one
/// this system added (kTorvaneRouteProtocol). A gateway or device in `route`
/// narrows the match further.
NetlinkRequest buildRouteDelete(const RouteRequest& route);

/// Deletes `route` exactly as the kernel listed it, in its own table and
/// with its own protocol: for clearing a table that is not ours, such as
/// the one a dead charon leaves.
NetlinkRequest buildRouteDeleteExact(const RouteEntry& route);

/// Deletes one policy routing rule of `family` (AF_INET, AF_INET6) with
/// this priority that looks up `table`.
NetlinkRequest buildRuleDelete(std::uint8_t family, std::uint32_t priority, std::uint32_t table);

/// Asks the kernel which routing entry it would use for `destination`
/// (policy rules included) and to report that entry as it is stored.
NetlinkRequest buildRouteLookup(Ipv4Address destination);

/// Whether a whole message starts at `message` within `remaining` bytes.
/// (libmnl's own check reads the length as a signed int, so a length of
/// 2 GiB or more passes it.)
bool messageFits(const nlmsghdr* message, std::size_t remaining);

/// The message after `message`, with `remaining` reduced accordingly; only
/// for a message that fits. Returns nullptr when nothing is left.
const nlmsghdr* nextMessage(const nlmsghdr* message, std::size_t& remaining);

/// Decoders for RTM_NEWROUTE/RTM_DELROUTE, RTM_NEWADDR/RTM_DELADDR and
/// RTM_NEWLINK/RTM_DELLINK messages, for replies and notifications alike.
/// `message` must lie wholly inside the received buffer (mnl_nlmsg_ok).
/// Anything that is not IPv4, is truncated or carries attributes of the wrong
/// size yields nothing rather than a guess.
std::vector<RouteEntry> decodeRoute(const nlmsghdr& message);
std::optional<AddressEntry> decodeAddress(const nlmsghdr& message);
std::optional<LinkEntry> decodeLink(const nlmsghdr& message);

} // namespace torvane::netlink

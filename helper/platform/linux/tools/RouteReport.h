#pragma once

#include "RouteCommand.h"
#include "RouteEntry.h"

#include <string>
#include <vector>

namespace torvane::tools {

/// What `route get` found.
struct RouteGetReport {
    /// The destination asked for, numeric, or "default".
    std::string routeTo;
    /// The routing entry the answer comes from.
    netlink::RouteEntry entry;
    /// The device traffic leaves on; for an address of this machine, the
    /// device that holds it.
    std::string interfaceName;
};

/// The properties of a route as flag words, in this order: UP (usable),
/// GATEWAY (has a next hop), HOST (a /32), REJECT (unreachable, prohibit,
/// throw), BLACKHOLE, STATIC (added by an administrator or a tool, not by
/// the kernel or a routing daemon), LOCAL (an address of this machine).
std::vector<std::string> routeFlagWords(const netlink::RouteEntry& route);

/// The same flags as the letters netstat shows: U G H R B S L.
std::string routeFlagLetters(const netlink::RouteEntry& route);

/// BSD-style `route get` output, one "label: value" line each, labels right
/// aligned: route to, destination, mask, gateway (only when there is one),
/// interface, flags.
std::string formatRouteGet(const RouteGetReport& report);

/// What a change did, as `route` reports it: "add net 10.1.0.0/16: gateway
/// 10.99.0.1", "add host 192.0.2.7: interface eth0", "delete net 10.1.0.0/16".
/// `destination` and `gateway` are the resolved, numeric forms.
std::string describeRouteChange(const RouteCommand& command, const std::string& destination,
                                const std::string& gateway);

/// The reason for a failed change: the errno text, except that ESRCH (no
/// such route) reads "not in table".
std::string describeRouteFailure(int code);

} // namespace torvane::tools

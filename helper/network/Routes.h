#pragma once

#include "shared/Expected.h"

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace torvane {

/// How long a routing call may take before it gives up. The kernel answers
/// at once; what can block is resolving a host name.
using RouteTimeLimit = std::chrono::milliseconds;

/// A network route of a tunnel. Exactly one of `viaAddress` and `device` is
/// set. Through an address of this machine (a tunnel's virtual IP) the route
/// goes straight onto the device that holds it, with that address as the
/// source of new traffic; through any other address, that address is the
/// next hop. With `device` the route goes straight onto that device.
struct NetworkRoute {
    /// "A.B.C.D/N" (a bare address is a /32).
    std::string cidr;
    std::string viaAddress{};
    std::string device{};

    friend bool operator==(const NetworkRoute&, const NetworkRoute&) = default;
};

/// One change of a batch: an add of `route`, or a delete of our route to
/// `route.cidr` (where it leads does not matter for a delete).
struct RouteChange {
    enum class Action { add, remove };
    Action action = Action::add;
    NetworkRoute route;

    friend bool operator==(const RouteChange&, const RouteChange&) = default;
};

/// What became of one change: done, or the reason it was not.
struct RouteOutcome {
    bool ok = true;
    std::string error{};

    static RouteOutcome failure(std::string reason) { return {false, std::move(reason)}; }
    friend bool operator==(const RouteOutcome&, const RouteOutcome&) = default;
};

/// The routing entry that answers for an address, or the main table's
/// default route.
struct RouteLookup {
    /// The entry's destination: a bare address for a /32, "A.B.C.D/N"
    /// otherwise, "default" for 0.0.0.0/0.
    std::string destination{};
    /// The next hop; none for a route straight onto a device.
    std::optional<std::string> gateway{};
    /// The device traffic leaves on; for an address of this machine, the
    /// device that holds it.
    std::string device{};

    friend bool operator==(const RouteLookup&, const RouteLookup&) = default;
};

/// One route of the main table (and this machine's own addresses, from the
/// local table), as the tunnel discovery reads it.
struct RouteTableRow {
    std::string destination{};
    std::optional<std::string> gateway{};
    /// A /32.
    bool host = false;
    /// Put in by an administrator or a program (this one included), not by
    /// the kernel.
    bool isStatic = false;
    /// An address of this machine.
    bool local = false;
    std::string device{};

    friend bool operator==(const RouteTableRow&, const RouteTableRow&) = default;
};

/// What a charon that did not stop cleanly left and was removed now.
struct CharonLeftovers {
    int ipv4Rules = 0;
    int ipv6Rules = 0;
    int routes = 0;
};

/// The machine's IPv4 routing, as the network parts use it. Every route
/// added here carries this system's own mark, and every delete matches only
/// routes with that mark, so a route of the same network that someone else
/// installed is never removed. Calls are synchronous and return once the
/// kernel has answered or `limit` has passed. Not thread-safe: the engine
/// calls it on its queue only.
class Routes {
public:
    virtual ~Routes() = default;

    /// Applies every change as one batch on one connection to the kernel,
    /// in order, each acknowledged on its own: one outcome per change, in the
    /// same order. A change that fails does not stop the rest.
    virtual std::vector<RouteOutcome> apply(const std::vector<RouteChange>& changes,
                                            RouteTimeLimit limit) = 0;

    /// A route to `host`/32 through `gateway`; a host name is resolved first.
    virtual RouteOutcome addHostRoute(const std::string& host, const std::string& gateway,
                                      RouteTimeLimit limit) = 0;
    /// A route to `host`/32 straight onto `device`, for a default route
    /// without a gateway (PPP, a mobile modem); a host name is resolved first.
    virtual RouteOutcome addHostRouteOnDevice(const std::string& host, const std::string& device,
                                              RouteTimeLimit limit) = 0;
    /// Deletes our route to `host`/32 (resolved first).
    virtual RouteOutcome deleteHostRoute(const std::string& host, RouteTimeLimit limit) = 0;

    /// The main table's default route, never a part of the address space
    /// that a full tunnel covers. Without a gateway (a point-to-point link)
    /// it reports only the device. An error when there is none.
    virtual Expected<RouteLookup, std::string> defaultRoute(RouteTimeLimit limit) = 0;

    /// The entry the kernel would use for `address`, with the device that
    /// holds or reaches it.
    virtual Expected<RouteLookup, std::string> lookup(const std::string& address,
                                                      RouteTimeLimit limit) = 0;

    /// The main table's routes and this machine's own addresses.
    virtual Expected<std::vector<RouteTableRow>, std::string> table(RouteTimeLimit limit) = 0;

    /// Removes what a charon that was killed leaves behind: its routing rule
    /// (both families) to the table of its own, and that table's routes.
    virtual CharonLeftovers removeCharonLeftovers(RouteTimeLimit limit) = 0;
};

} // namespace torvane

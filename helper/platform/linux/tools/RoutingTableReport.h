#pragma once

#include "LinkEntry.h"
#include "RouteEntry.h"

#include <string>
#include <vector>

namespace torvane::tools {

/// One line of the routing table as netstat shows it.
struct RoutingTableRow {
    /// "default", a bare address for a /32, else "A.B.C.D/N".
    std::string destination;
    /// The next hop's address, or "link#" + device index for a route straight
    /// onto a device (and for an address of this machine); "-" for none.
    std::string gateway;
    std::string flags;
    /// Device name, "-" for none.
    std::string interfaceName;

    friend bool operator==(const RoutingTableRow&, const RoutingTableRow&) = default;
};

/// The rows `netstat -rn -f inet` shows: every route of the main table, and
/// from the local table the host entries for this machine's own addresses,
/// flagged L so that a reader can tell them from real host routes. Sorted by
/// destination address, then prefix length; main-table routes before local
/// entries, lower metrics first; otherwise in the kernel's order.
std::vector<RoutingTableRow> routingTableRows(const std::vector<netlink::RouteEntry>& routes,
                                              const std::vector<netlink::LinkEntry>& links);

/// The whole output: a title, the column header, then the rows, in columns
/// separated by at least one space.
std::string formatRoutingTable(const std::vector<RoutingTableRow>& rows);

} // namespace torvane::tools

#include "RoutingTableReport.h"

#include "RoutePlanning.h"
#include "RouteReport.h"

#include <algorithm>
#include <linux/rtnetlink.h>
#include <tuple>

namespace torvane::tools {

using namespace netlink;

namespace {

bool isShown(const RouteEntry& route) {
    if (route.table == RT_TABLE_MAIN) {
        return true;
    }
    return route.table == RT_TABLE_LOCAL && route.type == RTN_LOCAL &&
           route.destination.length == 32;
}

std::string destinationText(const RouteEntry& route) {
    return route.destination.length == 0 ? "default" : formatIpv4Prefix(route.destination);
}

std::string gatewayText(const RouteEntry& route) {
    if (route.gateway) {
        return formatIpv4Address(*route.gateway);
    }
    if (route.interfaceIndex > 0) {
        return "link#" + std::to_string(route.interfaceIndex);
    }
    return "-";
}

void appendColumn(std::string& line, const std::string& text, std::size_t width) {
    line += text;
    line.append(text.size() < width ? width - text.size() : 0, ' ');
    line += ' ';
}

std::string formatLine(const std::string& destination, const std::string& gateway,
                       const std::string& flags, const std::string& interfaceName) {
    std::string line;
    appendColumn(line, destination, 18);
    appendColumn(line, gateway, 18);
    appendColumn(line, flags, 8);
    line += interfaceName;
    line += '\n';
    return line;
}

} // namespace

std::vector<RoutingTableRow> routingTableRows(const std::vector<RouteEntry>& routes,
                                              const std::vector<LinkEntry>& links) {
    std::vector<const RouteEntry*> shown;
    for (const auto& route : routes) {
        if (isShown(route)) {
            shown.push_back(&route);
        }
    }
    std::stable_sort(shown.begin(), shown.end(), [](const RouteEntry* a, const RouteEntry* b) {
        const bool aLocal = a->table != RT_TABLE_MAIN;
        const bool bLocal = b->table != RT_TABLE_MAIN;
        return std::tie(a->destination.address, a->destination.length, aLocal, a->metric) <
               std::tie(b->destination.address, b->destination.length, bLocal, b->metric);
    });
    std::vector<RoutingTableRow> rows;
    rows.reserve(shown.size());
    for (const auto* route : shown) {
        std::string flags = routeFlagLetters(*route);
        if (flags.empty()) {
            flags = "-"; // keeps the columns in place for readers that split on spaces
        }
        rows.push_back({destinationText(*route), gatewayText(*route), std::move(flags),
                        interfaceNameByIndex(links, route->interfaceIndex)});
    }
    return rows;
}

std::string formatRoutingTable(const std::vector<RoutingTableRow>& rows) {
    std::string out = "Routing tables\n\nInternet:\n";
    out += formatLine("Destination", "Gateway", "Flags", "Netif");
    for (const auto& row : rows) {
        out += formatLine(row.destination, row.gateway, row.flags, row.interfaceName);
    }
    return out;
}

} // namespace torvane::tools

#include "helper/platform/linux/NetlinkRoutes.h"

#include "helper/platform/linux/HostResolver.h"
#include "helper/platform/linux/NetlinkMessages.h"
#include "helper/platform/linux/NetlinkRouting.h"
#include "helper/platform/linux/RoutePlanning.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <tuple>

namespace torvane {

using namespace netlink;

namespace {

/// Rules of a dead charon removed per family at most: one is the rule, more
/// would be from charons killed earlier.
constexpr int kRuleDeletes = 4;

std::string reason(const NetlinkError& error) {
    // "No such process" would puzzle whoever reads why a delete failed.
    if (error.code == ESRCH) {
        return "not in table";
    }
    return std::strerror(error.code);
}

Expected<NetlinkRouting, std::string> openRouting(RouteTimeLimit limit) {
    auto socket = NetlinkSocket::open();
    if (!socket) {
        return Unexpected{socket.error().describe()};
    }
    socket->setTimeLimit(limit);
    return NetlinkRouting(std::move(*socket));
}

std::string destinationText(const Ipv4Prefix& destination) {
    return destination.length == 0 ? "default" : formatIpv4Prefix(destination);
}

std::optional<std::string> gatewayText(const RouteEntry& route) {
    if (!route.gateway) {
        return std::nullopt;
    }
    return formatIpv4Address(*route.gateway);
}

bool isStaticProtocol(std::uint8_t protocol) {
    return protocol == RTPROT_BOOT || protocol == RTPROT_STATIC ||
           protocol == kTorvaneRouteProtocol;
}

/// The request for one change, or why there is none.
Expected<RouteRequest, std::string> plan(const RouteChange& change,
                                         const std::vector<AddressEntry>& addresses,
                                         const std::vector<LinkEntry>& links) {
    const auto& route = change.route;
    const auto destination = parseIpv4Prefix(route.cidr);
    if (!destination) {
        return Unexpected{"not an IPv4 network: '" + route.cidr + "'"};
    }
    if (change.action == RouteChange::Action::remove) {
        return RouteRequest{.destination = *destination};
    }
    if (!route.device.empty()) {
        const auto index = interfaceIndexByName(links, route.device);
        if (!index) {
            return Unexpected{"interface " + route.device + " does not exist"};
        }
        return routeOnDevice(*destination, *index);
    }
    const auto via = parseIpv4Address(route.viaAddress);
    if (!via) {
        return Unexpected{"not an IPv4 address: '" + route.viaAddress + "'"};
    }
    return routeThroughAddress(*destination, *via, deviceHoldingAddress(addresses, links, *via));
}

} // namespace

std::vector<RouteOutcome> NetlinkRoutes::apply(const std::vector<RouteChange>& changes,
                                               RouteTimeLimit limit) {
    std::vector<RouteOutcome> outcomes(changes.size());
    if (changes.empty()) {
        return outcomes;
    }
    auto fail = [&](const std::string& why) {
        std::fill(outcomes.begin(), outcomes.end(), RouteOutcome::failure(why));
        return outcomes;
    };
    auto routing = openRouting(limit);
    if (!routing) {
        return fail(routing.error());
    }
    const bool adds = std::any_of(changes.begin(), changes.end(), [](const RouteChange& change) {
        return change.action == RouteChange::Action::add;
    });
    std::vector<AddressEntry> addresses;
    std::vector<LinkEntry> links;
    if (adds) {
        auto listedLinks = routing->links();
        auto listedAddresses = routing->addresses();
        if (!listedLinks || !listedAddresses) {
            return fail(!listedLinks ? listedLinks.error().describe()
                                     : listedAddresses.error().describe());
        }
        links = std::move(*listedLinks);
        addresses = std::move(*listedAddresses);
    }

    std::vector<NetlinkRequest> requests;
    std::vector<std::size_t> sent;
    for (std::size_t i = 0; i < changes.size(); ++i) {
        const auto request = plan(changes[i], addresses, links);
        if (!request) {
            outcomes[i] = RouteOutcome::failure(request.error());
            continue;
        }
        requests.push_back(changes[i].action == RouteChange::Action::add
                               ? buildRouteAdd(*request)
                               : buildRouteDelete(*request));
        sent.push_back(i);
    }
    const auto results = routing->batch(std::move(requests), "changing routes");
    for (std::size_t k = 0; k < sent.size(); ++k) {
        if (!results[k]) {
            outcomes[sent[k]] = RouteOutcome::failure(reason(results[k].error()));
        }
    }
    return outcomes;
}

RouteOutcome NetlinkRoutes::addHostRoute(const std::string& host, const std::string& gateway,
                                         RouteTimeLimit limit) {
    const auto address = resolveIpv4Host(host, limit);
    if (!address) {
        return RouteOutcome::failure(address.error());
    }
    const auto via = resolveIpv4Host(gateway, limit);
    if (!via) {
        return RouteOutcome::failure(via.error());
    }
    auto routing = openRouting(limit);
    if (!routing) {
        return RouteOutcome::failure(routing.error());
    }
    auto links = routing->links();
    auto addresses = routing->addresses();
    if (!links || !addresses) {
        return RouteOutcome::failure(!links ? links.error().describe()
                                            : addresses.error().describe());
    }
    const auto request =
        routeThroughAddress({*address, 32}, *via, deviceHoldingAddress(*addresses, *links, *via));
    const auto result = routing->addRoute(request);
    return result ? RouteOutcome{} : RouteOutcome::failure(reason(result.error()));
}

RouteOutcome NetlinkRoutes::addHostRouteOnDevice(const std::string& host, const std::string& device,
                                                 RouteTimeLimit limit) {
    const auto address = resolveIpv4Host(host, limit);
    if (!address) {
        return RouteOutcome::failure(address.error());
    }
    auto routing = openRouting(limit);
    if (!routing) {
        return RouteOutcome::failure(routing.error());
    }
    const auto links = routing->links();
    if (!links) {
        return RouteOutcome::failure(links.error().describe());
    }
    const auto index = interfaceIndexByName(*links, device);
    if (!index) {
        return RouteOutcome::failure("interface " + device + " does not exist");
    }
    const auto result = routing->addRoute(routeOnDevice({*address, 32}, *index));
    return result ? RouteOutcome{} : RouteOutcome::failure(reason(result.error()));
}

RouteOutcome NetlinkRoutes::deleteHostRoute(const std::string& host, RouteTimeLimit limit) {
    const auto address = resolveIpv4Host(host, limit);
    if (!address) {
        return RouteOutcome::failure(address.error());
    }
    auto routing = openRouting(limit);
    if (!routing) {
        return RouteOutcome::failure(routing.error());
    }
    const auto result = routing->deleteRoute({.destination = {*address, 32}});
    return result ? RouteOutcome{} : RouteOutcome::failure(reason(result.error()));
}

Expected<RouteLookup, std::string> NetlinkRoutes::defaultRoute(RouteTimeLimit limit) {
    auto routing = openRouting(limit);
    if (!routing) {
        return Unexpected{routing.error()};
    }
    const auto routes = routing->routes();
    if (!routes) {
        return Unexpected{routes.error().describe()};
    }
    // The main table's own default route, not a lookup: a full tunnel's
    // 0.0.0.0/1 would answer a lookup and hide the physical gateway.
    const auto found = selectDefaultRoute(*routes);
    if (!found) {
        return Unexpected{std::string("no IPv4 default route")};
    }
    const auto links = routing->links();
    if (!links) {
        return Unexpected{links.error().describe()};
    }
    return RouteLookup{"default", gatewayText(*found),
                       interfaceNameByIndex(*links, found->interfaceIndex)};
}

Expected<RouteLookup, std::string> NetlinkRoutes::lookup(const std::string& address,
                                                         RouteTimeLimit limit) {
    const auto resolved = resolveIpv4Host(address, limit);
    if (!resolved) {
        return Unexpected{resolved.error()};
    }
    auto routing = openRouting(limit);
    if (!routing) {
        return Unexpected{routing.error()};
    }
    const auto found = routing->lookupRoute(*resolved);
    if (!found) {
        return Unexpected{"get " + formatIpv4Address(*resolved) + ": " + reason(found.error())};
    }
    const auto links = routing->links();
    if (!links) {
        return Unexpected{links.error().describe()};
    }
    int device = found->interfaceIndex;
    if (found->type == RTN_LOCAL) {
        // The kernel delivers local traffic through lo; what the caller
        // wants is the device the address is configured on.
        const auto addresses = routing->addresses();
        if (!addresses) {
            return Unexpected{addresses.error().describe()};
        }
        device = deviceHoldingAddress(*addresses, *links, *resolved).value_or(device);
    }
    return RouteLookup{destinationText(found->destination), gatewayText(*found),
                       interfaceNameByIndex(*links, device)};
}

Expected<std::vector<RouteTableRow>, std::string> NetlinkRoutes::table(RouteTimeLimit limit) {
    auto routing = openRouting(limit);
    if (!routing) {
        return Unexpected{routing.error()};
    }
    const auto routes = routing->routes();
    if (!routes) {
        return Unexpected{routes.error().describe()};
    }
    const auto links = routing->links();
    if (!links) {
        return Unexpected{links.error().describe()};
    }
    // The main table, and from the local table the entries of this
    // machine's own addresses, which a reader must tell from host routes.
    std::vector<const RouteEntry*> shown;
    for (const auto& route : *routes) {
        if (route.table == RT_TABLE_MAIN ||
            (route.table == RT_TABLE_LOCAL && route.type == RTN_LOCAL &&
             route.destination.length == 32)) {
            shown.push_back(&route);
        }
    }
    std::stable_sort(shown.begin(), shown.end(), [](const RouteEntry* a, const RouteEntry* b) {
        const bool aLocal = a->table != RT_TABLE_MAIN;
        const bool bLocal = b->table != RT_TABLE_MAIN;
        return std::tie(a->destination.address, a->destination.length, aLocal, a->metric) <
               std::tie(b->destination.address, b->destination.length, bLocal, b->metric);
    });
    std::vector<RouteTableRow> rows;
    rows.reserve(shown.size());
    for (const auto* route : shown) {
        rows.push_back({.destination = destinationText(route->destination),
                        .gateway = gatewayText(*route),
                        .host = route->destination.length == 32,
                        .isStatic = isStaticProtocol(route->protocol),
                        .local = route->type == RTN_LOCAL,
                        .device = interfaceNameByIndex(*links, route->interfaceIndex)});
    }
    return rows;
}

CharonLeftovers NetlinkRoutes::removeCharonLeftovers(RouteTimeLimit limit) {
    CharonLeftovers removed;
    auto routing = openRouting(limit);
    if (!routing) {
        return removed;
    }
    for (const std::uint8_t family : {std::uint8_t{AF_INET}, std::uint8_t{AF_INET6}}) {
        int& count = family == AF_INET ? removed.ipv4Rules : removed.ipv6Rules;
        while (count < kRuleDeletes &&
               routing->deleteRule(family, kCharonRulePriority, kCharonTable)) {
            ++count;
        }
    }
    // Its routes usually went with its TUN device; any that stayed would
    // catch traffic again through the next charon's rule.
    const auto routes = routing->routes();
    if (!routes) {
        return removed;
    }
    for (const auto& route : *routes) {
        if (route.table == kCharonTable && routing->deleteExactRoute(route)) {
            ++removed.routes;
        }
    }
    return removed;
}

} // namespace torvane

// route: changes and queries the IPv4 main routing table over netlink, with
// the command lines and output lines of the BSD tool the daemon was written
// against. Exit status: 0 success, 1 failure, 2 bad arguments.
#include "HostResolver.h"
#include "NetlinkRouting.h"
#include "RouteCommand.h"
#include "RoutePlanning.h"
#include "RouteReport.h"

#include <exception>
#include <iostream>
#include <linux/rtnetlink.h>
#include <string>
#include <vector>

namespace {

using namespace torvane;
using namespace torvane::netlink;
using namespace torvane::tools;

constexpr int kFailure = 1;
constexpr int kUsage = 2;

int fail(const std::string& message) {
    std::cerr << "route: " << message << '\n';
    return kFailure;
}

int reportChange(const RouteCommand& command, const NetlinkResult& result,
                 const std::string& description) {
    if (!result) {
        return fail(description + ": " + describeRouteFailure(result.error().code));
    }
    if (!command.quiet) {
        std::cout << description << '\n';
    }
    return 0;
}

int runChange(NetlinkRouting& routing, const RouteCommand& command) {
    Ipv4Prefix destination;
    if (command.network) {
        destination = *command.network;
    } else {
        const auto host = resolveIpv4Host(command.destination);
        if (!host) {
            return fail(host.error());
        }
        destination = {*host, 32};
    }
    const std::string destinationText = formatIpv4Prefix(destination);

    if (command.action == RouteAction::remove) {
        RouteRequest route;
        route.destination = destination;
        return reportChange(command, routing.deleteRoute(route),
                            describeRouteChange(command, destinationText, {}));
    }

    const auto links = routing.links();
    if (!links) {
        return fail(links.error().describe());
    }
    RouteRequest route;
    std::string gatewayText;
    if (!command.interfaceName.empty()) {
        const auto index = interfaceIndexByName(*links, command.interfaceName);
        if (!index) {
            return fail("interface " + command.interfaceName + " does not exist");
        }
        route = routeOnDevice(destination, *index);
    } else {
        const auto gateway = resolveIpv4Host(command.gateway);
        if (!gateway) {
            return fail(gateway.error());
        }
        const auto addresses = routing.addresses();
        if (!addresses) {
            return fail(addresses.error().describe());
        }
        route = routeThroughAddress(destination, *gateway,
                                    deviceHoldingAddress(*addresses, *links, *gateway));
        gatewayText = formatIpv4Address(*gateway);
    }
    return reportChange(command, routing.addRoute(route),
                        describeRouteChange(command, destinationText, gatewayText));
}

int runGet(NetlinkRouting& routing, const RouteCommand& command) {
    const auto links = routing.links();
    if (!links) {
        return fail(links.error().describe());
    }
    RouteGetReport report;
    if (command.destination == "default" || command.destination == "0.0.0.0") {
        // The main table's own default route, not a lookup: a full tunnel's
        // 0.0.0.0/1 would otherwise answer for 0.0.0.0 and hide the physical
        // gateway the daemon asks for.
        const auto routes = routing.routes();
        if (!routes) {
            return fail(routes.error().describe());
        }
        const auto found = selectDefaultRoute(*routes);
        if (!found) {
            return fail("get default: not in table (no IPv4 default route)");
        }
        report.routeTo = "default";
        report.entry = *found;
        report.interfaceName = interfaceNameByIndex(*links, found->interfaceIndex);
    } else {
        const auto address = resolveIpv4Host(command.destination);
        if (!address) {
            return fail(address.error());
        }
        report.routeTo = formatIpv4Address(*address);
        const auto found = routing.lookupRoute(*address);
        if (!found) {
            return fail("get " + report.routeTo + ": " + describeRouteFailure(found.error().code));
        }
        report.entry = *found;
        int device = found->interfaceIndex;
        if (found->type == RTN_LOCAL) {
            // The kernel delivers local traffic through lo; what the caller
            // wants is the device the address is configured on.
            const auto addresses = routing.addresses();
            if (!addresses) {
                return fail(addresses.error().describe());
            }
            device = deviceHoldingAddress(*addresses, *links, *address).value_or(device);
        }
        report.interfaceName = interfaceNameByIndex(*links, device);
    }
    std::cout << formatRouteGet(report);
    return 0;
}

int run(const std::vector<std::string>& args) {
    const auto command = parseRouteArguments(args);
    if (!command) {
        std::cerr << "route: " << command.error() << '\n' << routeUsage();
        return kUsage;
    }
    auto routing = NetlinkRouting::open();
    if (!routing) {
        return fail(routing.error().describe());
    }
    if (command->action == RouteAction::get) {
        return runGet(*routing, *command);
    }
    return runChange(*routing, *command);
}

} // namespace

int main(int argc, char** argv) {
    try {
        return run(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const std::exception& error) {
        return fail(error.what());
    }
}

// netstat: prints the IPv4 routing table over netlink in the BSD tool's
// column layout. Exit status: 0 success, 1 failure, 2 bad arguments.
#include "NetlinkRouting.h"
#include "NetstatCommand.h"
#include "RoutingTableReport.h"

#include <exception>
#include <iostream>
#include <string>
#include <vector>

namespace {

using namespace torvane;
using namespace torvane::netlink;
using namespace torvane::tools;

int fail(const std::string& message) {
    std::cerr << "netstat: " << message << '\n';
    return 1;
}

int run(const std::vector<std::string>& args) {
    const auto command = parseNetstatArguments(args);
    if (!command) {
        std::cerr << "netstat: " << command.error() << '\n' << netstatUsage();
        return 2;
    }
    auto routing = NetlinkRouting::open();
    if (!routing) {
        return fail(routing.error().describe());
    }
    const auto routes = routing->routes();
    if (!routes) {
        return fail(routes.error().describe());
    }
    const auto links = routing->links();
    if (!links) {
        return fail(links.error().describe());
    }
    std::cout << formatRoutingTable(routingTableRows(*routes, *links));
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    try {
        return run(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const std::exception& error) {
        return fail(error.what());
    }
}

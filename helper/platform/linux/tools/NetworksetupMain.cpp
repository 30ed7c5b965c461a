// networksetup: lists the machine's network services (its non-loopback
// devices) and reads or sets a device's IPv6 mode through its sysctls in
// the current network namespace. There is no manual-DNS layer to set.
// Exit status: 0 success, 1 failure, 2 bad arguments.
#include "NetlinkRouting.h"
#include "NetworksetupCommand.h"

#include <algorithm>
#include <exception>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace torvane;
using namespace torvane::netlink;
using namespace torvane::tools;

int fail(const std::string& message) {
    std::cerr << "networksetup: " << message << '\n';
    return 1;
}

std::string confPath(const std::string& device, const std::string& name) {
    return "/proc/sys/net/ipv6/conf/" + device + "/" + name;
}

std::optional<int> readSysctl(const std::string& device, const std::string& name) {
    std::ifstream file(confPath(device, name));
    int value = 0;
    if (!(file >> value)) {
        return std::nullopt;
    }
    return value;
}

/// Nothing when the device has no IPv6 configuration (IPv6 absent).
std::optional<Ipv6Sysctls> readIpv6Sysctls(const std::string& device) {
    const auto disable = readSysctl(device, "disable_ipv6");
    const auto autoconf = readSysctl(device, "autoconf");
    const auto acceptRa = readSysctl(device, "accept_ra");
    if (!disable || !autoconf || !acceptRa) {
        return std::nullopt;
    }
    return Ipv6Sysctls{*disable, *autoconf, *acceptRa};
}

bool writeSysctl(const std::string& device, const std::string& name, const std::string& value) {
    std::ofstream file(confPath(device, name));
    file << value << '\n';
    file.close();
    return static_cast<bool>(file);
}

int run(const std::vector<std::string>& args) {
    const auto command = parseNetworksetupArguments(args);
    if (!command) {
        std::cerr << "networksetup: " << command.error() << '\n' << networksetupUsage();
        return 2;
    }
    if (command->action == NetworksetupAction::setDnsServers ||
        command->action == NetworksetupAction::setSearchDomains) {
        return fail(command->service +
                    ": manual DNS settings are not supported on this system (it has no "
                    "manual DNS layer); nothing was changed");
    }

    auto routing = NetlinkRouting::open();
    if (!routing) {
        return fail(routing.error().describe());
    }
    const auto links = routing->links();
    if (!links) {
        return fail(links.error().describe());
    }
    const auto services = networkServices(*links);
    if (command->action == NetworksetupAction::listNetworkServiceOrder) {
        std::cout << formatNetworkServiceOrder(services);
        return 0;
    }

    // Only a listed service's name ever becomes part of a /proc/sys path.
    const bool known = std::any_of(services.begin(), services.end(), [&](const auto& service) {
        return service.name == command->service;
    });
    if (!known) {
        return fail(command->service + " is not a recognized network service");
    }
    const auto current = readIpv6Sysctls(command->service);
    if (command->action == NetworksetupAction::getInfo) {
        std::cout << formatServiceInfo(command->service, current);
        return 0;
    }
    if (!current) {
        return fail(command->service + ": IPv6 is not available on this device");
    }
    for (const auto& [name, value] : ipv6SysctlWrites(command->action, *current)) {
        if (!writeSysctl(command->service, name, value)) {
            return fail(command->service + ": could not set " + confPath(command->service, name));
        }
    }
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

#include "NetworksetupCommand.h"

#include <algorithm>
#include <net/if.h>

namespace torvane::tools {

Expected<NetworksetupCommand, std::string>
parseNetworksetupArguments(const std::vector<std::string>& args) {
    using Failure = Unexpected<std::string>;
    if (args.empty()) {
        return Failure{"no operation given"};
    }
    const std::string& operation = args.front();
    if (operation == "-listnetworkserviceorder") {
        if (args.size() != 1) {
            return Failure{"-listnetworkserviceorder takes no arguments"};
        }
        return NetworksetupCommand{NetworksetupAction::listNetworkServiceOrder, {}};
    }

    struct Known {
        const char* name;
        NetworksetupAction action;
        bool takesValues;
    };
    static constexpr Known kKnown[] = {
        {"-getinfo", NetworksetupAction::getInfo, false},
        {"-setv6off", NetworksetupAction::setV6Off, false},
        {"-setv6automatic", NetworksetupAction::setV6Automatic, false},
        {"-setv6LinkLocal", NetworksetupAction::setV6LinkLocal, false},
        {"-setdnsservers", NetworksetupAction::setDnsServers, true},
        {"-setsearchdomains", NetworksetupAction::setSearchDomains, true},
    };
    const auto* known = std::find_if(std::begin(kKnown), std::end(kKnown),
                                     [&](const Known& k) { return operation == k.name; });
    if (known == std::end(kKnown)) {
        return Failure{"unknown operation " + operation};
    }
    if (args.size() < 2 || args[1].empty()) {
        return Failure{operation + " needs a network service"};
    }
    if (known->takesValues ? args.size() < 3 : args.size() != 2) {
        return Failure{known->takesValues ? operation + " needs a value list (or \"empty\")"
                                          : operation + " takes exactly one network service"};
    }
    return NetworksetupCommand{known->action, args[1]};
}

const char* networksetupUsage() {
    return "usage: networksetup -listnetworkserviceorder\n"
           "       networksetup -getinfo SERVICE\n"
           "       networksetup -setv6off | -setv6automatic | -setv6LinkLocal SERVICE\n"
           "       networksetup -setdnsservers SERVICE SERVER... | empty\n"
           "       networksetup -setsearchdomains SERVICE DOMAIN... | empty\n";
}

std::vector<NetworkService> networkServices(std::vector<netlink::LinkEntry> links) {
    std::sort(links.begin(), links.end(),
              [](const auto& a, const auto& b) { return a.index < b.index; });
    std::vector<NetworkService> services;
    for (const auto& link : links) {
        if ((link.flags & IFF_LOOPBACK) != 0) {
            continue;
        }
        services.push_back({link.name, (link.flags & IFF_UP) != 0});
    }
    return services;
}

std::string formatNetworkServiceOrder(const std::vector<NetworkService>& services) {
    std::string text = "An asterisk (*) denotes that a network service is disabled.\n";
    int number = 0;
    for (const auto& service : services) {
        text += "\n";
        text += service.enabled ? "(" + std::to_string(++number) + ") " : std::string("(*) ");
        text += service.name + "\n";
        text += "(Hardware Port: " + service.name + ", Device: " + service.name + ")\n";
    }
    return text;
}

std::string ipv6ModeName(const Ipv6Sysctls& sysctls) {
    if (sysctls.disableIpv6 != 0) {
        return "Off";
    }
    if (sysctls.autoconf != 0 && sysctls.acceptRa > 0) {
        return "Automatic";
    }
    return "LinkLocal";
}

std::string formatServiceInfo(const std::string& service,
                              const std::optional<Ipv6Sysctls>& sysctls) {
    std::string text = "Device: " + service + "\n";
    if (sysctls) {
        text += "IPv6: " + ipv6ModeName(*sysctls) + "\n";
    }
    return text;
}

std::vector<std::pair<std::string, std::string>> ipv6SysctlWrites(NetworksetupAction action,
                                                                  const Ipv6Sysctls& current) {
    switch (action) {
    case NetworksetupAction::setV6Off:
        return {{"disable_ipv6", "1"}};
    case NetworksetupAction::setV6Automatic:
        // A device that already takes advertisements (1, or 2 on a router)
        // keeps its setting.
        return {{"autoconf", "1"},
                {"accept_ra", current.acceptRa > 0 ? std::to_string(current.acceptRa) : "1"},
                {"disable_ipv6", "0"}};
    case NetworksetupAction::setV6LinkLocal:
        return {{"autoconf", "0"}, {"accept_ra", "0"}, {"disable_ipv6", "0"}};
    default:
        return {};
    }
}

} // namespace torvane::tools

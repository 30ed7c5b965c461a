#pragma once

#include "Expected.h"
#include "LinkEntry.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace torvane::tools {

enum class NetworksetupAction {
    listNetworkServiceOrder,
    getInfo,
    setV6Off,
    setV6Automatic,
    setV6LinkLocal,
    setDnsServers,
    setSearchDomains,
};

/// One invocation of `networksetup`: the action and, for all but the
/// listing, the service it names.
struct NetworksetupCommand {
    NetworksetupAction action = NetworksetupAction::listNetworkServiceOrder;
    std::string service;

    friend bool operator==(const NetworksetupCommand&, const NetworksetupCommand&) = default;
};

/// Parses the arguments after the program name. The DNS setters accept their
/// value list (servers, domains, or "empty"); the others take exactly one
/// service name.
Expected<NetworksetupCommand, std::string>
parseNetworksetupArguments(const std::vector<std::string>& args);

const char* networksetupUsage();

/// A network service: a non-loopback device, enabled while it is
/// administratively up.
struct NetworkService {
    std::string name;
    bool enabled = false;

    friend bool operator==(const NetworkService&, const NetworkService&) = default;
};

/// The services among `links`, in device index order.
std::vector<NetworkService> networkServices(std::vector<netlink::LinkEntry> links);

/// The listing: a header line, then per service a numbered line ("(*)" for a
/// disabled one) and its "(Hardware Port: …, Device: …)" line, with a blank
/// line between services.
std::string formatNetworkServiceOrder(const std::vector<NetworkService>& services);

/// The three per-device IPv6 switches under /proc/sys/net/ipv6/conf/DEV/.
struct Ipv6Sysctls {
    int disableIpv6 = 0;
    int autoconf = 1;
    int acceptRa = 1;

    friend bool operator==(const Ipv6Sysctls&, const Ipv6Sysctls&) = default;
};

/// "Off" while IPv6 is disabled, "Automatic" while the device takes router
/// advertisements and configures addresses from them, "LinkLocal" otherwise.
std::string ipv6ModeName(const Ipv6Sysctls& sysctls);

/// `-getinfo` output. Without IPv6 on the device (no sysctls) there is no
/// "IPv6: " line.
std::string formatServiceInfo(const std::string& service,
                              const std::optional<Ipv6Sysctls>& sysctls);

/// The sysctl writes (file name under the device's conf folder, value) that
/// put a device with `current` settings into the mode of a -setv6… `action`,
/// in the order to apply them: the switches that shape a re-enabled device
/// come before disable_ipv6 is cleared.
std::vector<std::pair<std::string, std::string>> ipv6SysctlWrites(NetworksetupAction action,
                                                                  const Ipv6Sysctls& current);

} // namespace torvane::tools

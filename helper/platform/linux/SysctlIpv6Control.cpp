#include "helper/platform/linux/SysctlIpv6Control.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <net/if.h>
#include <sstream>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace torvane {

namespace {

/// The non-loopback interfaces in index order, up or not.
std::vector<NetworkService> kernelServices() {
    std::vector<std::pair<unsigned, NetworkService>> found;
    struct if_nameindex* names = if_nameindex();
    if (names == nullptr) {
        return {};
    }
    const int probe = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    for (const struct if_nameindex* entry = names; entry->if_index != 0; ++entry) {
        ifreq request{};
        std::strncpy(request.ifr_name, entry->if_name, IFNAMSIZ - 1);
        if (probe < 0 || ::ioctl(probe, SIOCGIFFLAGS, &request) != 0) {
            continue; // gone since it was listed
        }
        if ((request.ifr_flags & IFF_LOOPBACK) != 0) {
            continue;
        }
        found.push_back({entry->if_index, {entry->if_name, (request.ifr_flags & IFF_UP) != 0}});
    }
    if (probe >= 0) {
        ::close(probe);
    }
    if_freenameindex(names);
    std::sort(found.begin(), found.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<NetworkService> services;
    for (auto& entry : found) {
        services.push_back(std::move(entry.second));
    }
    return services;
}

// A service name becomes part of a path: only a name an interface can have
// (no '/', not "." or "..") is looked up at all.
bool isInterfaceName(const std::string& name) {
    return !name.empty() && name.size() < IFNAMSIZ && name != "." && name != ".." &&
           name.find('/') == std::string::npos && name.find('\0') == std::string::npos;
}

} // namespace

SysctlIpv6Control::SysctlIpv6Control(std::string confRoot) : m_confRoot(std::move(confRoot)) {}

std::vector<NetworkService> SysctlIpv6Control::services() {
    return kernelServices();
}

std::string SysctlIpv6Control::switchPath(const std::string& service,
                                          const std::string& name) const {
    return m_confRoot + "/" + service + "/" + name;
}

std::optional<int> SysctlIpv6Control::readSwitch(const std::string& service,
                                                 const std::string& name) const {
    const int fd = ::open(switchPath(service, name).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    char text[32] = {};
    const auto got = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    if (got <= 0) {
        return std::nullopt;
    }
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (end == text || errno != 0 || (*end != '\n' && *end != '\0')) {
        return std::nullopt;
    }
    return static_cast<int>(value);
}

std::optional<Ipv6Error> SysctlIpv6Control::writeSwitch(const std::string& service,
                                                        const std::string& name,
                                                        const std::string& value) const {
    const std::string path = switchPath(service, name);
    // Never created: a switch that is not there is an interface without IPv6.
    const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        return Ipv6Error{error, "could not set " + path + ": " + std::strerror(error)};
    }
    const std::string line = value + "\n";
    const auto written = ::write(fd, line.data(), line.size());
    const int error = written == static_cast<ssize_t>(line.size()) ? 0 : (errno ? errno : EIO);
    ::close(fd);
    if (error != 0) {
        return Ipv6Error{error, "could not set " + path + ": " + std::strerror(error)};
    }
    return std::nullopt;
}

std::optional<Ipv6Mode> SysctlIpv6Control::mode(const std::string& service) {
    if (!isInterfaceName(service)) {
        return std::nullopt;
    }
    const auto disable = readSwitch(service, "disable_ipv6");
    const auto autoconf = readSwitch(service, "autoconf");
    const auto acceptRa = readSwitch(service, "accept_ra");
    if (!disable || !autoconf || !acceptRa) {
        return std::nullopt;
    }
    if (*disable != 0) {
        return Ipv6Mode::off;
    }
    return *autoconf != 0 && *acceptRa > 0 ? Ipv6Mode::automatic : Ipv6Mode::linkLocal;
}

std::optional<Ipv6Error> SysctlIpv6Control::setMode(const std::string& service, Ipv6Mode mode) {
    const auto acceptRa =
        isInterfaceName(service) ? readSwitch(service, "accept_ra") : std::nullopt;
    if (!acceptRa) {
        return Ipv6Error{ENOENT, service + ": IPv6 is not available on this interface"};
    }
    // The switches that shape a re-enabled interface come before
    // disable_ipv6 is cleared, so it starts out in the new mode.
    std::vector<std::pair<std::string, std::string>> writes;
    switch (mode) {
    case Ipv6Mode::off:
        writes = {{"disable_ipv6", "1"}};
        break;
    case Ipv6Mode::automatic:
        // An interface that already takes advertisements (1, or 2 on a
        // router) keeps its setting.
        writes = {{"autoconf", "1"},
                  {"accept_ra", *acceptRa > 0 ? std::to_string(*acceptRa) : "1"},
                  {"disable_ipv6", "0"}};
        break;
    case Ipv6Mode::linkLocal:
        writes = {{"autoconf", "0"}, {"accept_ra", "0"}, {"disable_ipv6", "0"}};
        break;
    }
    for (const auto& [name, value] : writes) {
        if (auto error = writeSwitch(service, name, value)) {
            return error;
        }
    }
    return std::nullopt;
}

std::optional<Ipv6Exposure> SysctlIpv6Control::exposure() {
    std::ifstream addresses("/proc/net/if_inet6");
    std::ifstream routes("/proc/net/ipv6_route");
    if (!addresses || !routes) {
        return std::nullopt;
    }
    Ipv6Exposure found;
    // "ADDRESS IFINDEX PREFIXLEN SCOPE FLAGS NAME", 32 hex digits per address.
    std::string line;
    while (std::getline(addresses, line)) {
        std::istringstream fields(line);
        std::string hex, index, length, scope, flags, name;
        if (!(fields >> hex >> index >> length >> scope >> flags >> name) || hex.size() != 32 ||
            scope != "00" || name == "lo") {
            continue;
        }
        in6_addr address{};
        for (std::size_t i = 0; i < 16; ++i) {
            address.s6_addr[i] =
                static_cast<std::uint8_t>(std::strtoul(hex.substr(2 * i, 2).c_str(), nullptr, 16));
        }
        char text[INET6_ADDRSTRLEN] = {};
        if (inet_ntop(AF_INET6, &address, text, sizeof text) != nullptr) {
            found.globalAddresses.push_back(name + " " + text);
        }
    }
    // "DEST DESTLEN SRC SRCLEN NEXTHOP METRIC REFCNT USE FLAGS NAME"; the
    // kernel's own unreachable default sits on lo.
    while (std::getline(routes, line)) {
        std::istringstream fields(line);
        std::string dest, destLength, src, srcLength, nextHop, metric, refs, use, flags, name;
        if (!(fields >> dest >> destLength >> src >> srcLength >> nextHop >> metric >> refs >>
              use >> flags >> name)) {
            continue;
        }
        const unsigned long bits = std::strtoul(flags.c_str(), nullptr, 16);
        constexpr unsigned long kUp = 0x1;
        constexpr unsigned long kReject = 0x200;
        if (dest == std::string(32, '0') && destLength == "00" && name != "lo" &&
            (bits & kUp) != 0 && (bits & kReject) == 0 &&
            std::find(found.defaultRouteDevices.begin(), found.defaultRouteDevices.end(), name) ==
                found.defaultRouteDevices.end()) {
            found.defaultRouteDevices.push_back(name);
        }
    }
    return found;
}

} // namespace torvane

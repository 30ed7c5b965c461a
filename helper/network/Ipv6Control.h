#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace torvane {

/// How an interface takes part in IPv6.
enum class Ipv6Mode {
    /// No IPv6 at all.
    off,
    /// Addresses and routes from router advertisements.
    automatic,
    /// Only the link-local address.
    linkLocal,
};

/// "Off", "Automatic", "LinkLocal": the words of the log and the journal.
inline std::string_view ipv6ModeName(Ipv6Mode mode) {
    switch (mode) {
    case Ipv6Mode::off:
        return "Off";
    case Ipv6Mode::automatic:
        return "Automatic";
    case Ipv6Mode::linkLocal:
        return "LinkLocal";
    }
    return "Off";
}

/// The mode named by exactly one of those words.
inline std::optional<Ipv6Mode> ipv6ModeFromName(std::string_view name) {
    for (const auto mode : {Ipv6Mode::off, Ipv6Mode::automatic, Ipv6Mode::linkLocal}) {
        if (ipv6ModeName(mode) == name) {
            return mode;
        }
    }
    return std::nullopt;
}

/// A network service: a non-loopback interface, enabled while it is
/// administratively up.
struct NetworkService {
    std::string name;
    bool enabled = false;

    friend bool operator==(const NetworkService&, const NetworkService&) = default;
};

/// Why an interface's IPv6 mode was not set. `status` is nonzero: the
/// system's error number where it gave one.
struct Ipv6Error {
    int status = 1;
    std::string message;
};

/// Where IPv6 traffic could leave the machine right now.
struct Ipv6Exposure {
    /// "IF ADDRESS" of every global-scope address outside loopback.
    std::vector<std::string> globalAddresses;
    /// Interfaces an IPv6 default route leaves by.
    std::vector<std::string> defaultRouteDevices;
};

/// The per-interface IPv6 switches of the machine. Calls run on the engine
/// queue; they are quick (no program is run).
class Ipv6Control {
public:
    virtual ~Ipv6Control() = default;

    /// Every network service, disabled ones included, in interface order.
    virtual std::vector<NetworkService> services() = 0;
    /// The IPv6 mode of `service`; nothing when it has no IPv6 settings
    /// (IPv6 absent there, or no such interface).
    virtual std::optional<Ipv6Mode> mode(const std::string& service) = 0;
    /// Puts `service` into `mode`.
    virtual std::optional<Ipv6Error> setMode(const std::string& service, Ipv6Mode mode) = 0;
    /// Reads, changing nothing, where IPv6 could leave; nothing when this
    /// backend cannot tell.
    virtual std::optional<Ipv6Exposure> exposure() { return std::nullopt; }
};

} // namespace torvane

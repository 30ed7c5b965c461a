#pragma once

#include "NetworkContext.h"
#include "Tunnel.h"

#include <optional>
#include <string>
#include <vector>

namespace torvane {

/// One network service whose IPv6 was switched off, with the mode it had.
struct SavedIPv6Setting {
    std::string service;
    std::string mode;

    friend bool operator==(const SavedIPv6Setting&, const SavedIPv6Setting&) = default;
};

/// Keeps IPv6 off on every enabled network service while a tunnel that
/// carries all IPv4 traffic but no IPv6 asks for leak prevention, and puts
/// each service's mode back afterwards. Runs on the engine's queue; every
/// networksetup call may block it for up to 30 s.
class Ipv6Guard {
public:
    explicit Ipv6Guard(NetworkContext& context);

    /// Engages or releases the leak prevention for `tunnels` (in start order).
    /// Once engaged, services are not revisited until it is released.
    void reconcileIPv6(const std::vector<Tunnel*>& tunnels);
    /// Puts every saved mode back, in the order saved, and forgets them
    /// whatever the outcome.
    void restoreIPv6();

    /// Names of the enabled network services, in service order.
    std::vector<std::string> allNetworkServiceNames();
    /// The service's IPv6 mode as networksetup reports it; nothing when it
    /// reports none.
    std::optional<std::string> currentIPv6Mode(const std::string& service);

    bool ipv6LeakPreventionActive() const { return m_active; }
    const std::vector<SavedIPv6Setting>& savedIPv6Settings() const { return m_saved; }

private:
    CommandResult networksetup(const std::vector<std::string>& args);

    NetworkContext& m_context;
    std::vector<SavedIPv6Setting> m_saved;
    bool m_active = false;
};

/// The service names in `-listnetworkserviceorder` output: each enabled
/// numbered service that is followed by its "Hardware Port" line.
std::vector<std::string> parseNetworkServiceOrder(const std::string& output);
/// The mode after "IPv6: " in `-getinfo` output.
std::optional<std::string> parseIPv6Mode(const std::string& output);

} // namespace torvane

#pragma once

#include "helper/engine/Tunnel.h"
#include "helper/network/Ipv6Control.h"
#include "helper/network/NetworkContext.h"

#include <optional>
#include <string>
#include <vector>

namespace torvane {

/// One network service whose IPv6 was switched off, with the mode it had.
struct SavedIPv6Setting {
    std::string service;
    Ipv6Mode mode = Ipv6Mode::automatic;

    friend bool operator==(const SavedIPv6Setting&, const SavedIPv6Setting&) = default;
};

/// Keeps IPv6 off on every enabled network service while a tunnel that
/// carries all IPv4 traffic but no IPv6 asks for leak prevention, and puts
/// each service's mode back afterwards. Runs on the engine's queue.
///
/// Interfaces that appear or come up while it is engaged (a USB adapter, a
/// phone's hotspot) would carry IPv6 around the tunnel: the engine calls
/// revisitServices when the interfaces change.
class Ipv6Guard {
public:
    explicit Ipv6Guard(NetworkContext& context);

    /// Engages or releases the leak prevention for `tunnels` (in start order).
    void reconcileIPv6(const std::vector<Tunnel*>& tunnels);
    /// While engaged: switches IPv6 off on every enabled service that has it
    /// on now, saving and journaling the mode of one not seen before. One
    /// seen before (the kernel recreated it with fresh settings) keeps the
    /// mode saved first. Released: nothing.
    void revisitServices();
    /// Puts every saved mode back, in the order saved, and forgets them
    /// whatever the outcome. An interface gone meanwhile took its settings
    /// with it: it is skipped, without an error.
    void restoreIPv6();

    /// Names of the enabled network services, in service order.
    std::vector<std::string> allNetworkServiceNames();
    /// The service's IPv6 mode; nothing when it has none.
    std::optional<Ipv6Mode> currentIPv6Mode(const std::string& service);
    /// No interface of that name exists (any more).
    bool serviceGone(const std::string& service);

    bool ipv6LeakPreventionActive() const { return m_active; }
    const std::vector<SavedIPv6Setting>& savedIPv6Settings() const { return m_saved; }

private:
    NetworkContext& m_context;
    std::vector<SavedIPv6Setting> m_saved;
    bool m_active = false;
};

} // namespace torvane

#pragma once

#include "helper/engine/Tunnel.h"

#include <optional>
#include <string>
#include <vector>

namespace torvane {

/// What tunnel health needs from the engine that owns the tunnels. Every
/// member is called on the engine queue only.
class HealthHost {
public:
    virtual ~HealthHost() = default;

    /// Every tunnel, in start order. Reconnecting never adds or removes one,
    /// so the list stays valid across reconnectInPlace.
    virtual std::vector<Tunnel*> allTunnels() = 0;
    /// Brings `tunnel` back in place (same record, priority and position),
    /// logging `reason`; ends in connected or in error.
    virtual void reconnectInPlace(Tunnel& tunnel, const std::string& reason) = 0;
    /// Whether charon shows the tunnel's CHILD SA installed; false when
    /// charon cannot be asked.
    virtual bool childSAUp(const Tunnel& tunnel) = 0;
    /// A charon was launched and not stopped since.
    virtual bool charonTracked() = 0;
    /// When the tracked charon has died: its exit status (-1 when unknown).
    virtual std::optional<int> charonDeathStatus() = 0;
    /// The network path changed: gateway exclusions follow the new gateway.
    virtual void refreshGatewayExclusions() = 0;
    /// Restarts a DNS proxy that exited on its own (and publishes status).
    virtual void recoverExitedDnsProxy() = 0;
    virtual void pushStatus() = 0;
    /// A user-visible line (system log and app).
    virtual void log(const std::string& text) = 0;
};

} // namespace torvane

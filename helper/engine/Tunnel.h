#pragma once

#include "helper/engine/EngineTimer.h"
#include "helper/strongswan/StagingLayout.h"
#include "shared/Clock.h"
#include "shared/VPNConnState.h"
#include "shared/VPNProfile.h"
#include "shared/VPNTunnelStatus.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace torvane {

/// One live profile inside the engine. Created by a start, removed by a stop
/// or a failed start; owned by the engine and touched only on its queue.
struct Tunnel {
    explicit Tunnel(VPNProfile startedProfile)
        : profile(std::move(startedProfile)), priority(profile.priority) {}

    const VPNProfile profile;
    /// Smaller is more important; changed only when the app sends a new order.
    std::int64_t priority;
    VPNConnState state = VPNConnState::connecting;
    /// Virtual IP the gateway assigned.
    std::optional<std::string> vip;
    /// Tunnel interface carrying the virtual IP.
    std::optional<std::string> tun;
    /// Gateway address actually in use.
    std::optional<std::string> remoteIP;
    std::optional<std::string> message;
    /// Counters and SA details, kept only while a client follows the status.
    std::optional<VPNSaDetails> sa;

    /// Unique for the engine's lifetime: delayed work holds this instead of
    /// a pointer, so a stopped tunnel (or a new one at the same address) is
    /// never mistaken for the one the work was meant for.
    std::uint64_t serial = 0;

    // Health (see TunnelHealth).
    std::unique_ptr<EngineTimer> keepaliveTimer;
    /// Consecutive failed keepalive pings.
    int keepaliveFailures = 0;
    bool keepalivePingInFlight = false;
    /// When a keepalive ping was last answered.
    std::optional<Clock::TimePoint> lastKeepaliveAnswer;
    /// When reconnectInPlace last started for this tunnel; never = the
    /// distant past, so the first check is not held back by the cooldown.
    std::optional<Clock::TimePoint> lastAutoReconnectAttempt;
    /// An SA-down re-check is pending.
    bool reconnectCheckScheduled = false;

    /// The connection, IKE SA and CHILD SA name in strongSwan.
    std::string strongswanName() const { return torvane::strongswanName(profile.id); }
};

} // namespace torvane

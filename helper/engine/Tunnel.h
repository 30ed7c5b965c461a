#pragma once

#include "StagingLayout.h"
#include "VPNConnState.h"
#include "VPNProfile.h"

#include <cstdint>
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

    /// The connection, IKE SA and CHILD SA name in strongSwan.
    std::string strongswanName() const { return torvane::strongswanName(profile.id); }
};

} // namespace torvane

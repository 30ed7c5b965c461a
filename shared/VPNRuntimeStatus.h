#pragma once

#include "shared/DecodeError.h"
#include "shared/Expected.h"
#include "shared/VPNTunnelStatus.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace torvane {

/// A snapshot of every tunnel the helper has, in the helper's order. An empty
/// list means no tunnel exists.
struct VPNRuntimeStatus {
    std::vector<VPNTunnelStatus> tunnels;
    /// The daemon keeps its kill switch engaged for tunnels a killed
    /// predecessor had, which are not back: traffic outside the live tunnels
    /// stays blocked until they reconnect or the user stops everything.
    /// "killSwitchHolding" in JSON, written only when true.
    bool killSwitchHolding = false;
    /// Goes up each time the daemon's managed profiles change, so that
    /// clients know to ask for them again. "managedRevision" in JSON,
    /// written only when not zero.
    std::uint64_t managedRevision = 0;

    /// The first tunnel whose profileID equals `profileID` exactly (the
    /// comparison is case-sensitive), or null.
    const VPNTunnelStatus* tunnel(std::string_view profileID) const;
    int connectedCount() const;
    /// One state for the whole snapshot: any error wins, then reconnecting,
    /// then connecting, then connected; an empty snapshot is disconnected.
    VPNConnState aggregateState() const;

    friend bool operator==(const VPNRuntimeStatus&, const VPNRuntimeStatus&) = default;
};

std::string encodeRuntimeStatus(const VPNRuntimeStatus& status);
/// Fails only when the text is not a JSON object. A missing, null or
/// undecodable "tunnels" value yields an empty snapshot, so one malformed
/// tunnel never makes a client drop the daemon's status altogether.
Expected<VPNRuntimeStatus, DecodeError> decodeRuntimeStatus(std::string_view text);

} // namespace torvane

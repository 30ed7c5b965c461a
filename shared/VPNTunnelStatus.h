#pragma once

#include "shared/DecodeError.h"
#include "shared/Expected.h"
#include "shared/VPNConnState.h"

#include <cstdint>
#include <optional>
#include <string>

#include <nlohmann/json_fwd.hpp>

namespace torvane {

/// One tunnel as the helper reports it.
struct VPNTunnelStatus {
    /// The profile's id, upper-case UUID text.
    std::string profileID;
    std::string profileName;
    VPNConnState state = VPNConnState::disconnected;
    std::optional<std::string> assignedVIP;
    std::optional<std::string> tunDevice;
    /// Last error or progress text for the user.
    std::optional<std::string> message;
    std::int64_t priority = 0;
    /// The kill switch is loaded and this tunnel's profile enables it.
    bool killSwitchActive = false;

    friend bool operator==(const VPNTunnelStatus&, const VPNTunnelStatus&) = default;
};

/// Absent optional fields are left out of the object.
nlohmann::json tunnelStatusToJson(const VPNTunnelStatus& status);
/// The five required keys must be present with the right types and a known
/// state; the optional ones may be missing or null.
Expected<VPNTunnelStatus, DecodeError> tunnelStatusFromJson(const nlohmann::json& object);

} // namespace torvane

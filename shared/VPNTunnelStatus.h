#pragma once

#include "shared/DecodeError.h"
#include "shared/Expected.h"
#include "shared/VPNConnState.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

namespace torvane {

/// What charon reports of a connected tunnel's security associations. Read
/// only while some client follows the status, so it may be absent from a
/// connected tunnel too.
struct VPNSaDetails {
    /// Carried by the tunnel's installed CHILD SAs, summed over them. They
    /// start again from the new SA's figures once a rekey retires the old
    /// one: read differences between two reports, not totals.
    std::int64_t bytesIn = 0;
    std::int64_t bytesOut = 0;
    std::int64_t packetsIn = 0;
    std::int64_t packetsOut = 0;
    /// The negotiated algorithms as "AES_GCM_16-256 / PRF_HMAC_SHA2_384 /
    /// ECP_384": encryption-keysize, integrity, PRF, DH group, as present.
    std::string ikeProposal;
    std::string espProposal;
    /// Seconds since the IKE SA was established.
    std::int64_t establishedSeconds = 0;
    /// Seconds until the IKE SA and the CHILD SA are rekeyed; absent when
    /// no rekey is scheduled.
    std::optional<std::int64_t> ikeRekeySeconds;
    std::optional<std::int64_t> espRekeySeconds;
    /// IKE endpoints as "address[port]" (4500 once NAT-T is in use).
    std::string localAddress;
    std::string remoteAddress;
    /// The CHILD SA's traffic selectors, e.g. "10.200.0.0/24".
    std::vector<std::string> localTrafficSelectors;
    std::vector<std::string> remoteTrafficSelectors;

    friend bool operator==(const VPNSaDetails&, const VPNSaDetails&) = default;
};

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
    /// Traffic and SA details; "tunnelSA" in JSON, written only when known.
    /// (The key sorts after every other one, so the encoded object's other
    /// keys keep their neighbours for text that reads them side by side.)
    std::optional<VPNSaDetails> tunnelSA;

    friend bool operator==(const VPNTunnelStatus&, const VPNTunnelStatus&) = default;
};

/// Absent optional fields are left out of the object.
nlohmann::json tunnelStatusToJson(const VPNTunnelStatus& status);
/// The five required keys must be present with the right types and a known
/// state; the optional ones may be missing or null. A "tunnelSA" value that does
/// not decode is dropped rather than failing the tunnel.
Expected<VPNTunnelStatus, DecodeError> tunnelStatusFromJson(const nlohmann::json& object);

} // namespace torvane

#include "shared/VPNTunnelStatus.h"

#include "shared/JsonFields.h"

#include <utility>

#include <nlohmann/json.hpp>

namespace torvane {
namespace {

nlohmann::json saToJson(const VPNSaDetails& sa) {
    nlohmann::json object{
        {"bytesIn", sa.bytesIn},
        {"bytesOut", sa.bytesOut},
        {"packetsIn", sa.packetsIn},
        {"packetsOut", sa.packetsOut},
        {"ikeProposal", sa.ikeProposal},
        {"espProposal", sa.espProposal},
        {"establishedSeconds", sa.establishedSeconds},
        {"localAddress", sa.localAddress},
        {"remoteAddress", sa.remoteAddress},
        {"localTrafficSelectors", sa.localTrafficSelectors},
        {"remoteTrafficSelectors", sa.remoteTrafficSelectors},
    };
    if (sa.ikeRekeySeconds) {
        object["ikeRekeySeconds"] = *sa.ikeRekeySeconds;
    }
    if (sa.espRekeySeconds) {
        object["espRekeySeconds"] = *sa.espRekeySeconds;
    }
    return object;
}

/// Lenient: missing keys keep their defaults, a wrong type drops the details.
std::optional<VPNSaDetails> saFromJson(const nlohmann::json& object) {
    if (!object.is_object()) {
        return std::nullopt;
    }
    VPNSaDetails sa;
    FieldReader r(object);
    r.read("bytesIn", sa.bytesIn);
    r.read("bytesOut", sa.bytesOut);
    r.read("packetsIn", sa.packetsIn);
    r.read("packetsOut", sa.packetsOut);
    r.read("ikeProposal", sa.ikeProposal);
    r.read("espProposal", sa.espProposal);
    r.read("establishedSeconds", sa.establishedSeconds);
    for (auto [key, target] : {std::pair{"ikeRekeySeconds", &sa.ikeRekeySeconds},
                               std::pair{"espRekeySeconds", &sa.espRekeySeconds}}) {
        std::int64_t seconds = -1;
        r.read(key, seconds);
        if (seconds >= 0) {
            *target = seconds;
        }
    }
    r.read("localAddress", sa.localAddress);
    r.read("remoteAddress", sa.remoteAddress);
    r.read("localTrafficSelectors", sa.localTrafficSelectors);
    r.read("remoteTrafficSelectors", sa.remoteTrafficSelectors);
    if (r.failed()) {
        return std::nullopt;
    }
    return sa;
}

} // namespace

nlohmann::json tunnelStatusToJson(const VPNTunnelStatus& s) {
    nlohmann::json object{
        {"profileID", s.profileID},
        {"profileName", s.profileName},
        {"state", rawValue(s.state)},
        {"priority", s.priority},
        {"killSwitchActive", s.killSwitchActive},
    };
    if (s.assignedVIP) {
        object["assignedVIP"] = *s.assignedVIP;
    }
    if (s.tunDevice) {
        object["tunDevice"] = *s.tunDevice;
    }
    if (s.message) {
        object["message"] = *s.message;
    }
    if (s.tunnelSA) {
        object["tunnelSA"] = saToJson(*s.tunnelSA);
    }
    return object;
}

Expected<VPNTunnelStatus, DecodeError> tunnelStatusFromJson(const nlohmann::json& object) {
    if (!object.is_object()) {
        return Unexpected{DecodeError{"a tunnel status must be a JSON object"}};
    }
    VPNTunnelStatus s;
    FieldReader r(object);
    r.require("profileID", s.profileID);
    r.require("profileName", s.profileName);
    r.requirePresent("state");
    r.readConverted("state", s.state, connStateFromRawValue, "is not a known state");
    r.readOptional("assignedVIP", s.assignedVIP);
    r.readOptional("tunDevice", s.tunDevice);
    r.readOptional("message", s.message);
    r.require("priority", s.priority);
    r.require("killSwitchActive", s.killSwitchActive);
    if (const auto sa = object.find("tunnelSA"); sa != object.end()) {
        s.tunnelSA = saFromJson(*sa);
    }
    if (r.failed()) {
        return Unexpected{r.error()};
    }
    return s;
}

} // namespace torvane

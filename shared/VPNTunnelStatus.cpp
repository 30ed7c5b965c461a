#include "shared/VPNTunnelStatus.h"

#include "shared/JsonFields.h"

#include <nlohmann/json.hpp>

namespace torvane {

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
    if (r.failed()) {
        return Unexpected{r.error()};
    }
    return s;
}

} // namespace torvane

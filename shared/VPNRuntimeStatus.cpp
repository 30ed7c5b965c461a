#include "shared/VPNRuntimeStatus.h"

#include "shared/JsonText.h"

#include <algorithm>

#include <nlohmann/json.hpp>

namespace torvane {

const VPNTunnelStatus* VPNRuntimeStatus::tunnel(std::string_view profileID) const {
    const auto it = std::find_if(tunnels.begin(), tunnels.end(),
                                 [&](const auto& t) { return t.profileID == profileID; });
    return it == tunnels.end() ? nullptr : &*it;
}

int VPNRuntimeStatus::connectedCount() const {
    return static_cast<int>(std::count_if(tunnels.begin(), tunnels.end(), [](const auto& t) {
        return t.state == VPNConnState::connected;
    }));
}

VPNConnState VPNRuntimeStatus::aggregateState() const {
    constexpr VPNConnState kPrecedence[] = {VPNConnState::error, VPNConnState::reconnecting,
                                            VPNConnState::connecting, VPNConnState::connected};
    for (const auto state : kPrecedence) {
        if (std::any_of(tunnels.begin(), tunnels.end(),
                        [state](const auto& t) { return t.state == state; })) {
            return state;
        }
    }
    return VPNConnState::disconnected;
}

std::string encodeRuntimeStatus(const VPNRuntimeStatus& status) {
    auto array = nlohmann::json::array();
    for (const auto& tunnel : status.tunnels) {
        array.push_back(tunnelStatusToJson(tunnel));
    }
    nlohmann::json object{{"tunnels", std::move(array)}};
    if (status.killSwitchHolding) {
        object["killSwitchHolding"] = true;
    }
    if (status.managedRevision != 0) {
        object["managedRevision"] = status.managedRevision;
    }
    return encodeJsonText(object);
}

Expected<VPNRuntimeStatus, DecodeError> decodeRuntimeStatus(std::string_view text) {
    auto json = parseJsonText(text);
    if (!json) {
        return Unexpected{json.error()};
    }
    if (!json->is_object()) {
        return Unexpected{DecodeError{"a status must be a JSON object"}};
    }
    VPNRuntimeStatus status;
    // Lenient like the list: anything but true reads as not holding.
    const auto holding = json->find("killSwitchHolding");
    status.killSwitchHolding =
        holding != json->end() && holding->is_boolean() && holding->get<bool>();
    const auto revision = json->find("managedRevision");
    if (revision != json->end() && revision->is_number_unsigned()) {
        status.managedRevision = revision->get<std::uint64_t>();
    }
    const auto it = json->find("tunnels");
    if (it == json->end() || !it->is_array()) {
        return status;
    }
    for (const auto& element : *it) {
        auto tunnel = tunnelStatusFromJson(element);
        if (!tunnel) {
            status.tunnels.clear();
            return status;
        }
        status.tunnels.push_back(std::move(*tunnel));
    }
    return status;
}

} // namespace torvane

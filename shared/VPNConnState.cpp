#include "shared/VPNConnState.h"

#include <array>

namespace torvane {

std::string_view rawValue(VPNConnState state) {
    switch (state) {
    case VPNConnState::disconnected:
        return "disconnected";
    case VPNConnState::connecting:
        return "connecting";
    case VPNConnState::connected:
        return "connected";
    case VPNConnState::reconnecting:
        return "reconnecting";
    case VPNConnState::error:
        return "error";
    }
    return {};
}

std::optional<VPNConnState> connStateFromRawValue(std::string_view raw) {
    constexpr std::array kAll = {VPNConnState::disconnected, VPNConnState::connecting,
                                 VPNConnState::connected, VPNConnState::reconnecting,
                                 VPNConnState::error};
    for (const auto state : kAll) {
        if (rawValue(state) == raw) {
            return state;
        }
    }
    return std::nullopt;
}

} // namespace torvane

#pragma once

#include <optional>
#include <string_view>

namespace torvane {

/// The state of one tunnel, written to JSON as its raw value.
enum class VPNConnState {
    disconnected,
    connecting,
    connected,
    reconnecting,
    error,
};

std::string_view rawValue(VPNConnState state);
std::optional<VPNConnState> connStateFromRawValue(std::string_view raw);

} // namespace torvane

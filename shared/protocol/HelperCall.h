#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace torvane::protocol {

/// The commands a client can send to the helper.
enum class HelperCall {
    getVersion,
    subscribe,
    start,
    stop,
    stopAll,
    forceKillAll,
    setPriorities,
    status,
    terminate,
    /// The read-only leak self-check of the tunnels that are up.
    leakCheck,
    /// The administrator's managed profiles, without their secrets.
    managedProfiles,
};

inline constexpr std::array<HelperCall, 11> kAllHelperCalls = {
    HelperCall::getVersion,    HelperCall::subscribe,       HelperCall::start,
    HelperCall::stop,          HelperCall::stopAll,         HelperCall::forceKillAll,
    HelperCall::setPriorities, HelperCall::status,          HelperCall::terminate,
    HelperCall::leakCheck,     HelperCall::managedProfiles,
};

/// The selector text that names the call on the wire, e.g. "stopAllWithReply:".
std::string_view selector(HelperCall call);
std::optional<HelperCall> callFromSelector(std::string_view text);

} // namespace torvane::protocol

#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace torvane {

/// Readers of swanctl's output. Pure functions over the text, so the engine
/// keeps running the commands, retrying and logging around them. Output that
/// does not look as expected yields nothing; it never fails.

/// What the charon log lines relayed by `swanctl --initiate` tell.
struct TunnelInfo {
    /// The last word of the last line containing "installing new virtual IP".
    std::optional<std::string> vip;
    /// The last word of the last line containing "created TUN device".
    std::optional<std::string> tun;

    friend bool operator==(const TunnelInfo&, const TunnelInfo&) = default;
};

TunnelInfo parseTunnelInfo(std::string_view initiateOutput);

} // namespace torvane

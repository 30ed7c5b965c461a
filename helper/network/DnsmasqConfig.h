#pragma once

#include "VPNProfile.h"

#include <optional>
#include <string>
#include <string_view>

namespace torvane {

/// The configuration the local DNS proxy runs with: the profile's own text
/// (trimmed, one final newline) when it has any, otherwise a generated one
/// listening on 127.0.0.1:53 and forwarding to the profile's DNS servers, or
/// to `upstreamResolvFile` when the profile names none.
std::string dnsmasqConfigText(const VPNProfile& profile, const std::string& upstreamResolvFile);

/// The proxy runs as root with a configuration that comes from an imported
/// profile, so directives that would let that text run programs, change the
/// privileges dnsmasq drops to, write files where it likes, serve files, or
/// pull in other configuration are refused. Returns the error text naming the
/// first such directive, or nothing when the configuration is acceptable.
std::optional<std::string> refusedDnsmasqDirective(std::string_view config);

} // namespace torvane

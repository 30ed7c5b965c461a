#pragma once

#include "shared/VPNProfile.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace torvane {

/// The configuration the local DNS proxy runs with: the profile's own text
/// (trimmed, one final newline) when it has any, otherwise a generated one
/// listening on 127.0.0.1:53 and forwarding to the profile's DNS servers, or
/// to `upstreamServers` (the resolvers in use before connecting) when the
/// profile names none. The generated one names its servers itself: dnsmasq
/// reads no resolv-file once "no-resolv" is set, and as nobody it could not
/// read the daemon's copy of the upstream list anyway.
std::string dnsmasqConfigText(const VPNProfile& profile,
                              const std::vector<std::string>& upstreamServers);

/// One directive line of a configuration, as dnsmasq reads it.
struct DnsmasqDirective {
    std::size_t line = 0; ///< 1-based line number in the text
    std::string name;
    /// Everything after the "=", exactly as written (dnsmasq itself drops
    /// blanks around it and a comment after it); nothing for a line without
    /// "=". "name=" + value reads the same to dnsmasq as the line did.
    std::optional<std::string> value;
};

/// What checkDnsmasqConfig found: the directives it read, in order, and the
/// reason the text is refused, if it is.
struct DnsmasqConfigCheck {
    std::vector<DnsmasqDirective> directives;
    std::optional<std::string> refusal;
};

/// The proxy starts as root with a configuration that may come from an
/// imported profile, so only directives that shape DNS answering and
/// forwarding are accepted: listening only on loopback (a listen-address
/// line is required), and reading no file but `upstreamResolvFile`. The text is read line by line
/// the way dnsmasq reads it, and anything the two could read differently is refused: lines over
/// 1,000 bytes (dnsmasq splits long lines into chunks), carriage returns, NUL and other control
/// characters, and directive names that are not plain lower-case words. The refusal names the line
/// and the directive.
DnsmasqConfigCheck checkDnsmasqConfig(std::string_view config, std::string_view upstreamResolvFile);

} // namespace torvane

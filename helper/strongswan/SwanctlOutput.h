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

/// What one `swanctl --list-sas --ike NAME` listing tells about the tunnel.
struct SAListingInfo {
    /// The virtual IP from the first "local … @ host[port] [vip]" line that
    /// carries one. The engine keeps a virtual IP it already knows.
    std::optional<std::string> vip;
    /// The gateway address from the last "remote … @ host[port]" line. The
    /// engine replaces what it knew with it.
    std::optional<std::string> remoteIP;

    friend bool operator==(const SAListingInfo&, const SAListingInfo&) = default;
};

/// Lines are matched after trimming spaces and tabs (swanctl indents them).
/// The identity before " @ " is free text, so the address part is taken
/// after the line's last " @ ": an identity containing " @ " cannot pose as
/// an address.
SAListingInfo parseSAListing(std::string_view listing);

/// For a listing filtered to one IKE SA: both "ESTABLISHED" and "INSTALLED"
/// appear anywhere in it.
bool listingShowsEstablishedAndInstalled(std::string_view listing);

/// For an unfiltered `swanctl --list-sas`: among the lines (trimmed) that
/// start with `strongswanName` + ": #", the tunnel's IKE SA and CHILD SA
/// lines, one says "ESTABLISHED" and one says "INSTALLED". Other tunnels'
/// lines never count.
bool childSAInstalled(std::string_view strongswanName, std::string_view unfilteredListing);

} // namespace torvane

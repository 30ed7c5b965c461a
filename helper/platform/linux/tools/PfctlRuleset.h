#pragma once

#include "Expected.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace torvane::tools {

/// The nftables table the kill switch lives in. It is ours alone: loading
/// replaces it whole and flushing deletes it, so no other table is touched.
inline constexpr std::string_view kKillSwitchFamily = "inet";
inline constexpr std::string_view kKillSwitchTable = "torvane_killswitch";

/// Turns a gateway host name into its addresses (IPv4 and IPv6 literals
/// never reach it). The error names the host and the reason.
using GatewayResolver =
    std::function<Expected<std::vector<std::string>, std::string>(const std::string&)>;

/// Translates the kill-switch ruleset, one packet-filter line per rule, into
/// one nft script that replaces our table in a single transaction. Only the
/// lines the daemon writes are understood:
///   pass out quick on IFACE all            ("lo0" is the loopback device)
///   pass out quick proto udp from any to GW port {500, 4500}
///   pass out quick proto esp from any to GW
///   pass out quick proto udp from any port 68 to any port 67
///   block drop out quick all
/// Rules keep their order, and every one ends the evaluation, as "quick"
/// does. Anything else (also a blank line inside the text) fails the whole
/// translation with an error naming the line; the text may end with one
/// newline. Every rule carries a counter, so its hits can be read back.
/// A forward chain holds what this host routes for others (containers,
/// virtual machines) the same way: every passed interface but loopback may
/// carry it out, and replies come back from that interface; the rest drops.
Expected<std::string, std::string> translateRuleset(std::string_view text,
                                                    const GatewayResolver& resolver);

/// The nft script that deletes our table, whether or not it exists.
std::string deleteTableScript();

} // namespace torvane::tools

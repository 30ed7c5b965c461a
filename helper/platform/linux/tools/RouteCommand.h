#pragma once

#include "Expected.h"
#include "Ipv4Prefix.h"

#include <optional>
#include <string>
#include <vector>

namespace torvane::tools {

enum class RouteAction { add, remove, get };
enum class RouteTarget { network, host };

/// One invocation of `route`, checked for form but not yet resolved: host
/// and gateway names are looked up when the command runs.
struct RouteCommand {
    RouteAction action = RouteAction::get;
    RouteTarget target = RouteTarget::network;
    /// The destination as written (network, host name or address).
    std::string destination;
    /// For a network target, the parsed network.
    std::optional<netlink::Ipv4Prefix> network;
    /// For an add: either a gateway (address or name) or a device name.
    std::string gateway;
    std::string interfaceName;
    /// "-q": print nothing on success.
    bool quiet = false;

    friend bool operator==(const RouteCommand&, const RouteCommand&) = default;
};

/// Parses the arguments after the program name:
///   [-n] [-q] add (-net NETWORK | -host HOST) (GATEWAY | -interface DEVICE)
///   [-n] [-q] delete (-net NETWORK | -host HOST)
///   [-n] [-q] get (ADDRESS | HOST | default)
/// NETWORK is "A.B.C.D/N" or a bare address (a /32). "-n" is accepted and
/// changes nothing: output is always numeric. The error is one line that
/// names what is wrong.
Expected<RouteCommand, std::string> parseRouteArguments(const std::vector<std::string>& args);

/// The usage text printed with a parse error, ending in a newline.
const char* routeUsage();

} // namespace torvane::tools

#pragma once

#include "shared/Expected.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace torvane {

/// What the kill switch lets out. Loopback and DHCP client requests (UDP
/// 68 to 67) always pass; so does everything on `tunnelInterfaces`, and IKE
/// (UDP 500 and 4500) and ESP to `gateways`. Every other packet leaving the
/// machine is dropped, and of what the machine routes for others
/// (containers, virtual machines) only what goes into a tunnel interface,
/// and the replies coming back out of it, passes.
struct FirewallPolicy {
    /// Interface names, in the order the tunnels were started.
    std::vector<std::string> tunnelInterfaces;
    /// Address literals, or host names resolved when the policy is applied.
    std::vector<std::string> gateways;

    friend bool operator==(const FirewallPolicy&, const FirewallPolicy&) = default;
};

/// A policy in force.
struct FirewallApplied {
    /// The handle the kernel gave the table now in force; none when it
    /// could not be read back (then `output` says what came back instead).
    std::optional<std::uint64_t> handle;
    std::string output;
};

/// Why a policy was not applied or a table not released. `status` is
/// nonzero: the backend's own failure code.
struct FirewallError {
    int status = 1;
    std::string message;
};

/// Our table as the kernel holds it, read back for the leak check.
struct FirewallTable {
    bool present = false;
    std::optional<std::uint64_t> handle;
    /// The output chain drops what no rule lets out.
    bool outputDrops = false;
    /// Interfaces the output chain lets everything out on.
    std::vector<std::string> passedInterfaces;
    /// Addresses the output chain lets IKE out to.
    std::vector<std::string> passedGateways;
};

/// The machine's firewall, as far as the kill switch uses it: one table of
/// our own, replaced whole or deleted; no other table or rule is touched.
/// Calls run on the engine queue and block it (a gateway name is resolved
/// while a policy is applied).
class Firewall {
public:
    virtual ~Firewall() = default;

    /// Replaces our table with one enforcing `policy`, in one transaction:
    /// a policy that cannot be applied (a malformed name, a gateway that
    /// does not resolve, a refusal by the kernel) changes nothing, and the
    /// table in force before, if any, stays.
    virtual Expected<FirewallApplied, FirewallError> apply(const FirewallPolicy& policy) = 0;
    /// Deletes our table; nothing happens when there is none.
    virtual std::optional<FirewallError> release() = 0;
    /// How the log names our table.
    virtual std::string tableName() const = 0;
    /// Reads our table back, changing nothing; an error when this backend
    /// cannot read it.
    virtual Expected<FirewallTable, FirewallError> inForce() {
        return Unexpected{FirewallError{1, "this firewall cannot be read back"}};
    }
};

/// True for a name a policy may carry as an interface: 1 to 15 characters
/// of letters, digits, '_', '-' and '.', and not "." or "..". Anything else
/// could not be an interface and is never written into a rule.
inline bool isFirewallInterfaceName(std::string_view name) {
    if (name.empty() || name.size() > 15 || name == "." || name == "..") {
        return false;
    }
    return std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '_' || c == '-' || c == '.';
    });
}

/// True for a gateway a policy may carry: a host name (letters, digits,
/// '-' and '.', at most 253, not starting with '-' or '.') or an address
/// literal (hex digits, '.', ':'; whether it parses is the backend's check).
inline bool isFirewallGateway(std::string_view gateway) {
    if (gateway.empty() || gateway.size() > 253 || gateway.front() == '-' ||
        gateway.front() == '.') {
        return false;
    }
    return std::all_of(gateway.begin(), gateway.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '-' || c == '.' || c == ':';
    });
}

} // namespace torvane

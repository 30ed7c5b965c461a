#pragma once

#include "helper/network/Firewall.h"

#include <functional>
#include <string>
#include <vector>

namespace torvane {

/// The kill switch's firewall on nftables, through libnftables in this
/// process: one table of our own ("inet torvane_killswitch") with an output
/// and a forward chain, both dropping by default. Applying replaces the
/// table in one transaction; releasing deletes it. Works in the network
/// namespace of the calling thread.
class NftablesFirewall final : public Firewall {
public:
    /// Turns a gateway host name into its addresses; the error names the
    /// host and the reason.
    using Resolver =
        std::function<Expected<std::vector<std::string>, std::string>(const std::string& host)>;

    /// `resolver` empty: the system's resolver.
    explicit NftablesFirewall(Resolver resolver = {});

    Expected<FirewallApplied, FirewallError> apply(const FirewallPolicy& policy) override;
    std::optional<FirewallError> release() override;
    std::string tableName() const override;
    Expected<FirewallTable, FirewallError> inForce() override;

    /// What `nft list table` printed (with handles) says of our table.
    static FirewallTable parseListing(const std::string& listing);

    /// The nft script that replaces our table with `policy`: the one place
    /// the kill switch's rules are written. Every rule carries a counter so
    /// that its hits can be read back. An error names what is wrong.
    static Expected<std::string, std::string> script(const FirewallPolicy& policy,
                                                     const Resolver& resolver);
    /// The nft script that deletes our table, whether or not it exists.
    static std::string releaseScript();

private:
    Resolver m_resolver;
};

} // namespace torvane

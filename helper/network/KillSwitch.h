#pragma once

#include "NetworkContext.h"
#include "Tunnel.h"

#include <optional>
#include <string>
#include <vector>

namespace torvane {

/// The firewall that lets out only loopback, the tunnel interfaces, IKE/ESP
/// to the gateways and DHCP while any tunnel's profile asks for it. Runs on
/// the engine's queue; every pfctl call may block it for up to 30 seconds.
class KillSwitch {
public:
    /// The anchor the ruleset is loaded into; the name appears in the log.
    static constexpr const char* pfAnchor = "com.apple/250.TorvaneKillSwitch";

    explicit KillSwitch(NetworkContext& context);

    /// Engages, refreshes or releases the kill switch for `tunnels`, the
    /// engine's tunnel list in start order. The ruleset is rewritten and
    /// reloaded on every call so the pass rules follow interfaces and
    /// gateways as they appear and go. A failed load sets the failure
    /// message on every tunnel that asked for the kill switch and leaves
    /// the previously loaded ruleset in force.
    void reconcileKillSwitch(const std::vector<Tunnel*>& tunnels);
    /// Flushes the anchor and gives back the enable token, when either is
    /// held; otherwise does nothing. Results of pfctl are not checked.
    void deactivateKillSwitch();

    /// True once a ruleset was loaded, until the next deactivation.
    bool isLoaded() const { return m_killSwitchLoaded; }
    /// The enable token held, if any.
    const std::optional<std::string>& pfToken() const { return m_pfToken; }
    /// staging root + "/killswitch.pf.conf".
    std::string rulesetPath() const;

    /// The ruleset for `tunnels`, each line ended by a newline. An interface
    /// name or gateway that is not a single word of name characters is left
    /// out, so that no tunnel record can add rules of its own.
    static std::string rulesetText(const std::vector<Tunnel*>& tunnels);

private:
    CommandResult pfctl(const std::vector<std::string>& args);
    bool writeRuleset(const std::string& text);
    void takeEnableToken();

    NetworkContext& m_context;
    std::optional<std::string> m_pfToken;
    bool m_killSwitchLoaded = false;
};

} // namespace torvane

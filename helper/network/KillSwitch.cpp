#include "helper/network/KillSwitch.h"

#include <algorithm>

namespace torvane {

namespace {

constexpr const char* kFailureMessage = "Kill switch failed to engage — see log";
constexpr const char* kTableKey = "kill switch";

} // namespace

KillSwitch::KillSwitch(NetworkContext& context) : m_context(context) {}

FirewallPolicy KillSwitch::policyFor(const std::vector<Tunnel*>& tunnels,
                                     const std::vector<KillSwitchProfile>& held) {
    // Interface names and gateways come from the tunnel records, and a
    // gateway may still be the profile's text as typed.
    FirewallPolicy policy;
    const auto passGateway = [&policy](const std::string& gateway) {
        if (isFirewallGateway(gateway) && std::find(policy.gateways.begin(), policy.gateways.end(),
                                                    gateway) == policy.gateways.end()) {
            policy.gateways.push_back(gateway);
        }
    };
    for (const Tunnel* tunnel : tunnels) {
        if (tunnel->tun && isFirewallInterfaceName(*tunnel->tun)) {
            policy.tunnelInterfaces.push_back(*tunnel->tun);
        }
        passGateway(tunnel->remoteIP.value_or(tunnel->profile.remoteAddr));
    }
    // A held profile reconnecting has its gateway passed already.
    for (const auto& profile : held) {
        passGateway(profile.gateway);
    }
    return policy;
}

FirewallPolicy KillSwitch::lockdownPolicyFor(const std::vector<Tunnel*>& tunnels,
                                             const std::vector<KillSwitchProfile>& lockdown) {
    FirewallPolicy policy;
    const auto passGateway = [&policy](const std::string& gateway) {
        if (isFirewallGateway(gateway) && std::find(policy.gateways.begin(), policy.gateways.end(),
                                                    gateway) == policy.gateways.end()) {
            policy.gateways.push_back(gateway);
        }
    };
    for (const auto& profile : lockdown) {
        passGateway(profile.gateway);
    }
    for (const Tunnel* tunnel : tunnels) {
        if (tunnel->tun && isFirewallInterfaceName(*tunnel->tun)) {
            policy.tunnelInterfaces.push_back(*tunnel->tun);
        }
        // Another tunnel's gateway stays closed: only the lockdown tunnel
        // may be negotiated while it is down.
        const std::string id = tunnel->profile.id.upperText();
        if (tunnel->remoteIP &&
            std::any_of(lockdown.begin(), lockdown.end(),
                        [&](const KillSwitchProfile& p) { return p.profileID == id; })) {
            passGateway(*tunnel->remoteIP);
        }
    }
    return policy;
}

bool KillSwitch::lockdownIsDown(const std::vector<Tunnel*>& tunnels,
                                const std::vector<KillSwitchProfile>& lockdown) {
    return std::any_of(lockdown.begin(), lockdown.end(), [&](const KillSwitchProfile& profile) {
        return std::none_of(tunnels.begin(), tunnels.end(), [&](const Tunnel* tunnel) {
            return tunnel->tun && tunnel->profile.id.upperText() == profile.profileID;
        });
    });
}

UndoStep KillSwitch::engagedStep(const std::vector<Tunnel*>& tunnels) const {
    if (m_holdUnknownProfiles) {
        // Held for someone unknown: the next daemon must not learn otherwise.
        return UndoStep::releaseFirewall(std::nullopt);
    }
    std::vector<KillSwitchProfile> profiles = m_heldProfiles;
    // A successor that finds the table holds it for these too, until it has
    // read the directory again.
    for (const auto& profile : m_lockdown) {
        if (std::none_of(profiles.begin(), profiles.end(), [&](const KillSwitchProfile& known) {
                return known.profileID == profile.profileID;
            })) {
            profiles.push_back(profile);
        }
    }
    for (const Tunnel* tunnel : tunnels) {
        const std::string id = tunnel->profile.id.upperText();
        if (tunnel->profile.killSwitchEnabled &&
            std::none_of(profiles.begin(), profiles.end(),
                         [&](const KillSwitchProfile& known) { return known.profileID == id; })) {
            profiles.push_back({id, tunnel->remoteIP.value_or(tunnel->profile.remoteAddr)});
        }
    }
    return UndoStep::releaseFirewall(std::move(profiles));
}

void KillSwitch::releaseProfilesThatAreBack(const std::vector<Tunnel*>& tunnels) {
    if (m_heldProfiles.empty()) {
        return;
    }
    for (const Tunnel* tunnel : tunnels) {
        // Only an interface lets the table pass the tunnel's traffic.
        if (tunnel->tun) {
            std::erase_if(m_heldProfiles, [&](const KillSwitchProfile& held) {
                return held.profileID == tunnel->profile.id.upperText();
            });
        }
    }
    if (!isHolding()) {
        m_context.log("kill switch hold ended: the tunnels that asked for it are back");
    }
}

void KillSwitch::reconcileKillSwitch(const std::vector<Tunnel*>& tunnels) {
    releaseProfilesThatAreBack(tunnels);
    const bool wanted = isHolding() || !m_lockdown.empty() ||
                        std::any_of(tunnels.begin(), tunnels.end(), [](const Tunnel* tunnel) {
                            return tunnel->profile.killSwitchEnabled;
                        });
    if (!wanted) {
        deactivateKillSwitch();
        return;
    }
    const bool lockedDown = lockdownIsDown(tunnels, m_lockdown);
    if (lockedDown != m_lockedDown) {
        m_lockedDown = lockedDown;
        m_context.log(lockedDown ? "kill switch LOCKDOWN: a lockdown profile's tunnel is not up — "
                                   "only its gateway and the tunnels that are up pass"
                                 : "kill switch lockdown eased: the lockdown tunnels are up");
    }
    m_context.recordUndo(kTableKey, engagedStep(tunnels));
    const auto applied = m_context.firewall.apply(policyNowFor(tunnels));
    if (!applied) {
        m_context.log("kill switch: nftables load FAILED (exit " +
                      std::to_string(applied.error().status) + "): " + applied.error().message);
        for (Tunnel* tunnel : tunnels) {
            if (tunnel->profile.killSwitchEnabled || isLockdownProfile(tunnel->profile.id)) {
                tunnel->message = kFailureMessage;
            }
        }
        return;
    }
    if (!applied->handle && !m_tableHandle) {
        m_context.log("kill switch: could not parse nftables enable token (output: " +
                      applied->output + ") — nftables may already be enabled");
    }
    // Each apply makes a new table; its handle replaces the old one's.
    if (applied->handle) {
        m_tableHandle = applied->handle;
    }
    if (!m_killSwitchLoaded) {
        m_killSwitchLoaded = true;
        m_context.log("kill switch ENGAGED (firewall table " + m_context.firewall.tableName() +
                      ")");
    }
}

void KillSwitch::deactivateKillSwitch() {
    endHold();
    if (!m_killSwitchLoaded && !m_tableHandle) {
        return;
    }
    m_context.firewall.release();
    m_context.forgetUndo(kTableKey);
    m_tableHandle.reset();
    m_killSwitchLoaded = false;
    m_lockedDown = false;
    m_context.log("kill switch disengaged");
}

void KillSwitch::releaseWhateverIsLoaded() {
    endHold();
    if (!m_lockdown.empty()) {
        // The administrator's lockdown outlives a force kill: the table is
        // replaced by the lockdown one in the same transaction, never opened.
        reconcileKillSwitch({});
        return;
    }
    if (m_killSwitchLoaded || m_tableHandle) {
        deactivateKillSwitch();
        return;
    }
    // Deleting a table that is not there does nothing.
    m_context.firewall.release();
}

FirewallPolicy KillSwitch::policyNowFor(const std::vector<Tunnel*>& tunnels) const {
    return lockdownIsDown(tunnels, m_lockdown) ? lockdownPolicyFor(tunnels, m_lockdown)
                                               : policyFor(tunnels, m_heldProfiles);
}

bool KillSwitch::isLockdownProfile(const Uuid& profileID) const {
    return std::any_of(m_lockdown.begin(), m_lockdown.end(), [&](const KillSwitchProfile& p) {
        return p.profileID == profileID.upperText();
    });
}

bool KillSwitch::ownsJournalKey(const std::string& key) {
    return key == kTableKey;
}

bool KillSwitch::wasEngaged(const std::vector<std::pair<std::string, UndoStep>>& steps) {
    return std::any_of(steps.begin(), steps.end(), [](const auto& entry) {
        return entry.first == kTableKey && entry.second.kind == UndoStep::Kind::firewall;
    });
}

void KillSwitch::holdAfterRestart(const std::vector<std::pair<std::string, UndoStep>>& steps) {
    std::optional<std::vector<KillSwitchProfile>> profiles;
    for (const auto& [key, step] : steps) {
        if (key == kTableKey && step.kind == UndoStep::Kind::firewall) {
            profiles = step.killSwitchProfiles;
        }
    }
    m_killSwitchLoaded = true;
    if (profiles && !profiles->empty()) {
        m_heldProfiles = std::move(*profiles);
        m_context.log("kill switch held after a restart: traffic stays blocked until its tunnels "
                      "reconnect or Disconnect All");
        // The dead tunnels' interfaces go; a failed apply keeps the old
        // table, which blocks as much.
        reconcileKillSwitch({});
        return;
    }
    m_holdUnknownProfiles = true;
    m_context.recordUndo(kTableKey, engagedStep({}));
    m_context.log("kill switch held after a restart: traffic stays blocked until Disconnect All "
                  "(the journal names no profiles)");
}

bool KillSwitch::forgetHeldProfile(const Uuid& profileID) {
    const bool wasHeld = std::erase_if(m_heldProfiles, [&](const KillSwitchProfile& held) {
                             return held.profileID == profileID.upperText();
                         }) > 0;
    if (wasHeld && !isHolding()) {
        m_context.log("kill switch hold lifted: its profiles were stopped");
    }
    return wasHeld;
}

void KillSwitch::endHold() {
    if (!isHolding()) {
        return;
    }
    m_heldProfiles.clear();
    m_holdUnknownProfiles = false;
    m_context.log("kill switch hold lifted");
}

} // namespace torvane

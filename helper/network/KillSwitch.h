#pragma once

#include "helper/engine/Tunnel.h"
#include "helper/network/ChangeJournal.h"
#include "helper/network/NetworkContext.h"
#include "shared/Uuid.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace torvane {

/// The firewall that lets out only loopback, the tunnel interfaces, IKE/ESP
/// to the gateways and DHCP while any tunnel's profile asks for it. Runs on
/// the engine's queue; every firewall call may block it (a gateway name is
/// resolved while the policy is applied).
///
/// It fails closed: a daemon that was killed leaves the table engaged, and
/// the next one holds it (see holdAfterRestart) until the tunnels that asked
/// for it are back or the user gives them up, instead of opening the machine
/// while no tunnel carries its traffic.
class KillSwitch {
public:
    explicit KillSwitch(NetworkContext& context);

    /// Engages, refreshes or releases the kill switch for `tunnels`, the
    /// engine's tunnel list in start order. The policy is rebuilt and
    /// applied on every call so that it follows interfaces and gateways as
    /// they appear and go. A failed apply sets the failure message on every
    /// tunnel that asked for the kill switch and leaves the table applied
    /// before in force.
    ///
    /// While holding, the table stays even when no tunnel asks for it, and
    /// also passes the held profiles' gateways; a held profile whose tunnel
    /// is up again (has its interface) is no longer held.
    void reconcileKillSwitch(const std::vector<Tunnel*>& tunnels);
    /// Deletes the table when one was applied (or a handle is held);
    /// otherwise does nothing. Ends a hold. The result is not checked.
    void deactivateKillSwitch();
    /// For the force kill: ends any hold and releases the kill switch, and
    /// deletes our table even when this engine knows of none applied, since
    /// one may be left whose owner was lost (a journal set aside as damaged).
    void releaseWhateverIsLoaded();

    /// True for the journal keys of this class's steps.
    static bool ownsJournalKey(const std::string& key);
    /// True when a killed predecessor's journal `steps` say the table was
    /// engaged, so that the next daemon keeps it rather than undoing it.
    static bool wasEngaged(const std::vector<std::pair<std::string, UndoStep>>& steps);
    /// Takes over the engaged table that `steps` record. With the profiles it
    /// was engaged for, the table is applied again without the dead tunnels'
    /// interfaces, passing those profiles' gateways; without them it is kept
    /// as it is and held until endHold. Journals the hold anew.
    void holdAfterRestart(const std::vector<std::pair<std::string, UndoStep>>& steps);
    /// The user stopped `profileID`: it is no longer waited for. True when it
    /// was held; the caller reconciles, which releases the table when
    /// nothing else wants it.
    bool forgetHeldProfile(const Uuid& profileID);
    /// Stop-all, force kill, daemon stop: nothing is held any more; the next
    /// reconcile or deactivation treats the table as usual.
    void endHold();
    /// The table is kept for tunnels a killed predecessor had.
    bool isHolding() const { return m_holdUnknownProfiles || !m_heldProfiles.empty(); }

    /// The administrator's lockdown profiles: the table stays for as long as
    /// they are set, whatever the tunnels ask for, and while any of them has
    /// no tunnel interface it lets out only loopback, DHCP, IKE/ESP to their
    /// gateways and the interfaces of the tunnels that are up. Takes effect
    /// at the next reconcile.
    void setLockdown(std::vector<KillSwitchProfile> profiles) { m_lockdown = std::move(profiles); }
    /// The last reconcile found a lockdown profile whose tunnel is not up.
    bool isLockedDown() const { return m_lockedDown; }
    bool isLockdownProfile(const Uuid& profileID) const;
    bool hasLockdown() const { return !m_lockdown.empty(); }
    /// The policy a reconcile applies for `tunnels` now, held profiles and
    /// lockdown included.
    FirewallPolicy policyNowFor(const std::vector<Tunnel*>& tunnels) const;

    /// True once a policy was applied, until the next deactivation.
    bool isLoaded() const { return m_killSwitchLoaded; }
    /// The handle of the table in force, as the firewall returned it.
    const std::optional<std::uint64_t>& tableHandle() const { return m_tableHandle; }

    /// The policy for `tunnels` and the gateways of `held` profiles. An
    /// interface name or gateway a policy cannot carry is left out: its
    /// traffic stays blocked, which is the safe side.
    static FirewallPolicy policyFor(const std::vector<Tunnel*>& tunnels,
                                    const std::vector<KillSwitchProfile>& held = {});
    /// The stricter policy while `lockdown` profiles are down: the
    /// interfaces of the tunnels that are up, and only the lockdown
    /// profiles' gateways (also as their tunnels resolved them).
    static FirewallPolicy lockdownPolicyFor(const std::vector<Tunnel*>& tunnels,
                                            const std::vector<KillSwitchProfile>& lockdown);
    /// True when a `lockdown` profile has no tunnel with an interface.
    static bool lockdownIsDown(const std::vector<Tunnel*>& tunnels,
                               const std::vector<KillSwitchProfile>& lockdown);

private:
    void releaseProfilesThatAreBack(const std::vector<Tunnel*>& tunnels);
    /// The journal step that undoes the table, naming what it is engaged for.
    UndoStep engagedStep(const std::vector<Tunnel*>& tunnels) const;

    NetworkContext& m_context;
    std::optional<std::uint64_t> m_tableHandle;
    bool m_killSwitchLoaded = false;
    /// Profiles of a killed predecessor whose tunnels are not back yet.
    std::vector<KillSwitchProfile> m_heldProfiles;
    /// Held for profiles nobody knows (the journal named none).
    bool m_holdUnknownProfiles = false;
    std::vector<KillSwitchProfile> m_lockdown;
    bool m_lockedDown = false;
};

} // namespace torvane

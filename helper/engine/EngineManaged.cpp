// The administrator's managed profiles in the engine: they rank before every
// client profile, the always-on ones are connected and kept up, and a new
// list stops what was removed and reconnects what changed.
#include "helper/engine/VPNEngine.h"

#include <algorithm>

namespace torvane {

namespace {

/// First wait before an always-on profile whose start failed is tried again;
/// it doubles on each failure up to the longest.
constexpr Clock::Duration kFirstAlwaysOnRetry{5};
constexpr Clock::Duration kLongestAlwaysOnRetry{60};

} // namespace

const ManagedProfile* VPNEngine::managedWithID(const Uuid& id) const {
    const auto it = std::find_if(m_managed.begin(), m_managed.end(),
                                 [&id](const ManagedProfile& m) { return m.profile.id == id; });
    return it == m_managed.end() ? nullptr : &*it;
}

bool VPNEngine::isAlwaysOn(const Tunnel& tunnel) const {
    const ManagedProfile* managed = managedWithID(tunnel.profile.id);
    return managed != nullptr && managed->alwaysOn;
}

bool VPNEngine::lockdownHolds() const {
    if (!m_network.killSwitchLoaded()) {
        return false;
    }
    // By state rather than interface: a tunnel whose SA went down keeps its
    // interface until the reconnect, but carries nothing meanwhile.
    return std::any_of(m_managed.begin(), m_managed.end(), [this](const ManagedProfile& managed) {
        return managed.lockdown &&
               std::none_of(m_tunnels.begin(), m_tunnels.end(), [&](const auto& tunnel) {
                   return tunnel->profile.id == managed.profile.id &&
                          tunnel->state == VPNConnState::connected;
               });
    });
}

std::int64_t VPNEngine::priorityFor(const VPNProfile& profile) const {
    const auto it = std::find_if(m_managed.begin(), m_managed.end(), [&](const ManagedProfile& m) {
        return m.profile.id == profile.id;
    });
    if (it != m_managed.end()) {
        return static_cast<std::int64_t>(it - m_managed.begin());
    }
    return static_cast<std::int64_t>(m_managed.size()) +
           std::max<std::int64_t>(profile.priority, 0);
}

void VPNEngine::setManagedProfiles(std::vector<ManagedProfile> profiles) {
    m_queue.post([this, profiles = std::move(profiles)]() mutable {
        const auto oldCount = static_cast<std::int64_t>(m_managed.size());
        std::vector<ManagedProfile> old = std::exchange(m_managed, std::move(profiles));
        m_alwaysOnStoppedByUser.clear();

        // Set before anything stops or starts: a removed lockdown profile's
        // last tunnel then releases the table, and a new one's start finds
        // the table already blocking.
        std::vector<KillSwitchProfile> lockdown;
        for (const ManagedProfile& managed : m_managed) {
            if (managed.lockdown && managed.alwaysOn) {
                lockdown.push_back({managed.profile.id.upperText(), managed.profile.remoteAddr});
            }
        }
        const bool touchesTable = !lockdown.empty() || m_network.killSwitchLoaded();
        m_network.setKillSwitchLockdown(std::move(lockdown));
        if (touchesTable) {
            m_network.reconcileKillSwitch(allTunnels());
        }

        // Removed from the directory: the tunnel goes. Changed while up: it
        // reconnects with the new record.
        std::vector<std::pair<ManagedProfile, VPNSecrets>> restarts;
        for (Tunnel* tunnel : allTunnels()) {
            const auto before = std::find_if(old.begin(), old.end(), [&](const ManagedProfile& m) {
                return m.profile.id == tunnel->profile.id;
            });
            const ManagedProfile* now = managedWithID(tunnel->profile.id);
            if (before == old.end() && now == nullptr) {
                // A client's profile: it keeps its rank behind the managed ones.
                tunnel->priority += static_cast<std::int64_t>(m_managed.size()) - oldCount;
                continue;
            }
            const std::string key = tunnel->profile.id.upperText();
            if (now == nullptr) {
                log("managed profile '" + tunnel->profile.name + "' was removed — stopping it");
                m_managedSecrets.erase(key);
                stopTunnel(tunnel);
                continue;
            }
            tunnel->priority = priorityFor(now->profile);
            // A client's tunnel of a profile that just became managed also
            // reconnects when the administrator's record differs from it.
            const bool secretsChanged = before != old.end() && now->secrets != before->secrets;
            if (now->profile != tunnel->profile || secretsChanged) {
                VPNSecrets secrets = now->secrets ? *now->secrets : m_managedSecrets[key];
                restarts.emplace_back(*now, std::move(secrets));
            }
        }
        for (auto& [managed, secrets] : restarts) {
            log("managed profile '" + managed.profile.name + "' changed — reconnecting it");
            m_managedSecrets[managed.profile.id.upperText()] = secrets;
            startOnQueue(managed.profile, secrets);
        }
        if (m_network.killSwitchLoaded() || !m_tunnels.empty()) {
            reconcileAll();
        }
        startAlwaysOnProfiles();
        ++m_managedRevision;
        pushStatus();
    });
}

void VPNEngine::startAlwaysOnProfiles() {
    assertOnQueue(__func__);
    bool failed = false;
    for (std::size_t i = 0; i < m_managed.size(); ++i) {
        // Copied: a start may not keep a reference into the list.
        const ManagedProfile managed = m_managed[i];
        if (!managed.alwaysOn || tunnelWithProfileID(managed.profile.id.upperText()) != nullptr ||
            std::find(m_alwaysOnStoppedByUser.begin(), m_alwaysOnStoppedByUser.end(),
                      managed.profile.id) != m_alwaysOnStoppedByUser.end()) {
            continue;
        }
        const std::string key = managed.profile.id.upperText();
        std::optional<VPNSecrets> secrets = managed.secrets;
        if (!secrets) {
            if (const auto known = m_managedSecrets.find(key); known != m_managedSecrets.end()) {
                secrets = known->second;
            }
        }
        if (!secrets) {
            log("needs secrets: always-on profile '" + managed.profile.name +
                "' has none in secrets.d — it connects when a client starts it");
            continue;
        }
        log("connecting always-on profile '" + managed.profile.name + "'");
        m_managedSecrets[key] = *secrets;
        if (startOnQueue(managed.profile, *secrets)) {
            failed = true;
        }
    }
    if (!failed) {
        m_alwaysOnRetryTimer.reset();
        m_alwaysOnRetryDelay = {};
    }
}

void VPNEngine::scheduleAlwaysOnRetry() {
    assertOnQueue(__func__);
    if (m_alwaysOnRetryTimer) {
        return;
    }
    m_alwaysOnRetryDelay = m_alwaysOnRetryDelay == Clock::Duration{}
                               ? kFirstAlwaysOnRetry
                               : std::min(m_alwaysOnRetryDelay * 2, kLongestAlwaysOnRetry);
    log("always-on profile not connected — trying again in " +
        std::to_string(static_cast<int>(m_alwaysOnRetryDelay.count())) + " s");
    m_alwaysOnRetryTimer = std::make_unique<EngineTimer>(m_env.clock, m_queue, m_alwaysOnRetryDelay,
                                                         std::nullopt, Clock::Duration(1), [this] {
                                                             m_alwaysOnRetryTimer.reset();
                                                             startAlwaysOnProfiles();
                                                         });
}

} // namespace torvane

// Recovery after the machine changed networks or slept: tunnels die
// silently then, so every tunnel is verified and the dead ones are
// reconnected in place. Sleep itself is never delayed.
#include "HealthPolicy.h"
#include "VPNEngine.h"

namespace torvane {

void VPNEngine::schedulePathChangeRecovery() {
    assertOnQueue(__func__);
    if (m_tunnels.empty() || m_pathChangeCheckScheduled) {
        return;
    }
    m_pathChangeCheckScheduled = true;
    runAfter(health::kPathChangeSettle, [this] {
        m_pathChangeCheckScheduled = false;
        if (m_tunnels.empty() || !m_charon) {
            return;
        }
        log("network path changed — verifying " + std::to_string(m_tunnels.size()) + " tunnel(s)");
        m_routes.refreshGatewayExclusions();
        for (std::size_t i = 0; i < m_tunnels.size(); ++i) {
            Tunnel& tunnel = *m_tunnels[i];
            if (tunnel.state == VPNConnState::connected) {
                if (tunnelHealthy(tunnel)) {
                    log("'" + tunnel.profile.name + "' healthy after path change");
                    continue;
                }
            } else if (tunnel.state != VPNConnState::reconnecting &&
                       tunnel.state != VPNConnState::error) {
                continue;
            }
            if (cooldownPassed(tunnel)) {
                tunnel.keepaliveFailures = 0;
                reconnectInPlace(tunnel, "network path changed");
            }
        }
    });
}

void VPNEngine::registerPowerNotifications() {
    if (m_powerEvents) {
        return;
    }
    if (m_env.openPowerEvents) {
        auto registration =
            m_env.openPowerEvents([this](PowerMessage message) { handlePowerMessage(message); });
        if (registration) {
            m_powerEvents = std::move(*registration);
            log("registered for sleep/wake events");
            return;
        }
    }
    log("warning: could not register for system power events");
}

void VPNEngine::handlePowerMessage(PowerMessage message) {
    switch (message) {
    case PowerMessage::canSystemSleep:
    case PowerMessage::systemWillSleep:
        // Acknowledged by returning: no inhibitor is held, so sleep goes
        // ahead at once whatever the tunnels are doing.
        return;
    case PowerMessage::systemHasPoweredOn:
        m_queue.post([this] { recoverAfterWake(); });
        return;
    }
}

void VPNEngine::recoverAfterWake() {
    assertOnQueue(__func__);
    if (m_tunnels.empty()) {
        return;
    }
    log("system woke — verifying tunnels");
    // The network needs a moment after wake before a probe means anything.
    m_env.clock.sleep(health::kWakeDelay);
    for (std::size_t i = 0; i < m_tunnels.size(); ++i) {
        Tunnel& tunnel = *m_tunnels[i];
        tunnel.keepaliveFailures = 0;
        if (tunnelHealthy(tunnel)) {
            log("'" + tunnel.profile.name + "' healthy after wake");
        } else {
            reconnectInPlace(tunnel, "woke from sleep");
        }
    }
}

} // namespace torvane

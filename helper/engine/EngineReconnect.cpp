// What the engine does for tunnel health: reacting to charon's SA events,
// reconnecting a tunnel in place (same record, priority and list position)
// — the one way every detector heals a dead tunnel — and answering the
// health part's questions about charon and the network.
#include "helper/engine/VPNEngine.h"
#include "helper/strongswan/StagingLayout.h"
#include "helper/strongswan/SwanctlOutput.h"

namespace torvane {

void VPNEngine::registerPowerNotifications() {
    m_health.registerPowerNotifications(m_env.openPowerEvents);
}

void VPNEngine::handleViciEvent(const std::string& /*name*/) {
    assertOnQueue(__func__);
    std::vector<Tunnel*> inspected;
    for (const auto& tunnel : m_tunnels) {
        if (tunnel->state == VPNConnState::connected ||
            tunnel->state == VPNConnState::reconnecting || tunnel->state == VPNConnState::error) {
            inspected.push_back(tunnel.get());
        }
    }
    if (inspected.empty()) {
        return;
    }
    // A listing that cannot be read counts as no SA: charon is gone or
    // hung, and the checks that follow heal the tunnels.
    const auto states = m_env.vici.listSAs(viciUri(), std::nullopt, std::chrono::seconds(5));
    auto installed = [&states](const Tunnel& tunnel) {
        for (const IkeSaState& state : states ? *states : std::vector<IkeSaState>{}) {
            if (state.name == tunnel.strongswanName()) {
                return state.established && state.childInstalled;
            }
        }
        return false;
    };
    for (Tunnel* tunnel : inspected) {
        if (installed(*tunnel)) {
            if (tunnel->state != VPNConnState::connected) {
                tunnel->state = VPNConnState::connected;
                tunnel->message = "Connected";
                pushStatus();
            }
            continue;
        }
        if (!m_charon.isTracked()) {
            continue;
        }
        if (tunnel->state == VPNConnState::connected) {
            tunnel->state = VPNConnState::reconnecting;
            tunnel->message = "SA down — reconnecting…";
            pushStatus();
        }
        m_health.scheduleAutoReconnectCheck(*tunnel);
    }
}

void VPNEngine::reconnectInPlace(Tunnel& tunnel, const std::string& reason) {
    assertOnQueue(__func__);
    const std::string swanctlBin = swanctlPath();
    const std::string charonBin = charonPath();
    if (!isExecutableFile(swanctlBin) || !isExecutableFile(charonBin)) {
        return;
    }
    tunnel.keepaliveFailures = 0;
    tunnel.lastAutoReconnectAttempt = m_env.clock.now();
    log("reconnecting '" + tunnel.profile.name + "' (" + reason + ")");
    tunnel.state = VPNConnState::reconnecting;
    tunnel.message = "Reconnecting…";
    pushStatus();

    const auto terminate = [&] {
        runSwanctl(swanctlBin, {"--terminate", "--ike", tunnel.strongswanName()}, 4);
    };
    terminate();
    tunnel.vip.reset();
    tunnel.tun.reset();
    updateNetworkNotifications();
    reconcileAll();
    pushStatus();

    try {
        if (m_charon.ensureRunning(charonBin)) {
            // A relaunched charon knows no connection; the reconnect keeps
            // the log quiet where a start shows swanctl's output.
            loadCredentialsAndConnections(swanctlBin, false);
        }
        initiate(tunnel);
    } catch (const std::exception& error) {
        const std::string description = error.what();
        log("reconnect failed for '" + tunnel.profile.name + "': " + description);
        terminate();
        tunnel.state = VPNConnState::error;
        tunnel.message = "Reconnect failed: " + description;
        pushStatus();
        return;
    }

    updateNetworkNotifications();
    reconcileAll();
    pushStatus();
    tunnel.state = VPNConnState::connected;
    tunnel.message = "Connected";
    pushStatus();
}

bool VPNEngine::childSAUp(const Tunnel& tunnel) {
    assertOnQueue(__func__);
    return childSAInstalled(tunnel);
}

bool VPNEngine::charonTracked() {
    assertOnQueue(__func__);
    return m_charon.isTracked();
}

std::optional<int> VPNEngine::charonDeathStatus() {
    assertOnQueue(__func__);
    return m_charon.deathStatus();
}

void VPNEngine::refreshGatewayExclusions() {
    assertOnQueue(__func__);
    m_network.refreshGatewayExclusions();
}

void VPNEngine::recoverExitedDnsProxy() {
    assertOnQueue(__func__);
    if (m_network.recoverExitedDnsProxy(byPriority())) {
        pushStatus();
    }
}

} // namespace torvane

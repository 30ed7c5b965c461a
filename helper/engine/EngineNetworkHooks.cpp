// The points where the engine keeps the machine's routes, DNS, IPv6 and
// firewall in line with the live tunnels, and where tunnel health checks
// start and stop. The engine calls each of them at its fixed place in the
// life cycle. Routes and the kill switch are managed; DNS, the DNS proxy,
// IPv6 and health checks are not yet: those functions change nothing and
// claim nothing, so no status or log line pretends otherwise.
#include "VPNEngine.h"

namespace torvane {

void VPNEngine::reconcileAll() {
    reconcileRoutes();
    reconcileDNS();
    reconcileIPv6();
    reconcileKillSwitch();
}

void VPNEngine::reconcileRoutes() {
    m_routes.reconcile(byPriority(), allTunnels());
}
void VPNEngine::reconcileDNS() {}
void VPNEngine::reconcileIPv6() {}
void VPNEngine::reconcileKillSwitch() {
    m_killSwitch.reconcileKillSwitch(allTunnels());
}
void VPNEngine::removeAllRoutes() {
    m_routes.removeAllRoutes();
}
void VPNEngine::stopDnsmasq() {}
void VPNEngine::forgetDnsmasq() {}
void VPNEngine::deactivateKillSwitch() {
    m_killSwitch.deactivateKillSwitch();
}
void VPNEngine::restoreIPv6() {}
void VPNEngine::restoreDNS() {}
void VPNEngine::addGatewayExclusionRoute(const std::string& host) {
    m_routes.addGatewayExclusionRoute(host);
}

void VPNEngine::clearUnderlyingDefaultGateway() {
    m_routes.clearUnderlyingDefaultGateway();
}
void VPNEngine::updateNetworkNotifications() {}
void VPNEngine::clearNetworkNotifications() {}
void VPNEngine::startReconnectWatchdog() {}
void VPNEngine::stopReconnectWatchdog() {}
void VPNEngine::startKeepalive(Tunnel& /*tunnel*/) {}
void VPNEngine::stopKeepalive(Tunnel& /*tunnel*/) {}
void VPNEngine::scheduleAutoReconnectCheck(Tunnel& /*tunnel*/, const std::string& /*swanctlBin*/) {}

bool VPNEngine::routesCarryAllIPv4() const {
    return m_routes.carriesAllIPv4();
}

bool VPNEngine::killSwitchLoaded() const {
    return m_killSwitch.isLoaded();
}

} // namespace torvane

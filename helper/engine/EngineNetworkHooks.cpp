// The points where the engine keeps the machine's routes, DNS, DNS proxy,
// IPv6 and firewall in line with the live tunnels. The engine calls each of
// them at its fixed place in the life cycle.
#include "VPNEngine.h"

namespace torvane {

void VPNEngine::reconcileAll() {
    assertOnQueue();
    reconcileRoutes();
    reconcileDNS();
    reconcileIPv6();
    reconcileKillSwitch();
}

void VPNEngine::reconcileRoutes() {
    assertOnQueue();
    m_routes.reconcile(byPriority(), allTunnels());
}

void VPNEngine::reconcileDNS() {
    assertOnQueue();
    m_dns.reconcileDNS(byPriority());
}

void VPNEngine::reconcileIPv6() {
    assertOnQueue();
    m_ipv6.reconcileIPv6(allTunnels());
}

void VPNEngine::reconcileKillSwitch() {
    assertOnQueue();
    m_killSwitch.reconcileKillSwitch(allTunnels());
}

void VPNEngine::removeAllRoutes() {
    assertOnQueue();
    m_routes.removeAllRoutes();
}

void VPNEngine::stopDnsmasq() {
    assertOnQueue();
    m_dnsProxy.stopDnsmasq();
}

void VPNEngine::forgetDnsmasq() {
    assertOnQueue();
    m_dnsProxy.forgetDnsmasq();
}

void VPNEngine::deactivateKillSwitch() {
    assertOnQueue();
    // No tunnel needs the table any more, but one a killed predecessor had
    // may still be held for.
    m_killSwitch.reconcileKillSwitch({});
}

void VPNEngine::liftKillSwitchHold() {
    assertOnQueue();
    m_killSwitch.endHold();
}

bool VPNEngine::forgetKillSwitchHold(std::string_view profileID) {
    assertOnQueue();
    const auto id = Uuid::parse(profileID);
    return id && m_killSwitch.forgetHeldProfile(*id);
}

void VPNEngine::restoreIPv6() {
    assertOnQueue();
    m_ipv6.restoreIPv6();
}

void VPNEngine::restoreDNS() {
    assertOnQueue();
    m_dns.restoreDNS();
}

void VPNEngine::addGatewayExclusionRoute(const std::string& host) {
    assertOnQueue();
    m_routes.addGatewayExclusionRoute(host);
}

void VPNEngine::clearUnderlyingDefaultGateway() {
    assertOnQueue();
    m_routes.clearUnderlyingDefaultGateway();
}

void VPNEngine::updateNetworkNotifications() {
    assertOnQueue();
    m_dns.updateNotificationKeys(!m_tunnels.empty());
}

void VPNEngine::clearNetworkNotifications() {
    assertOnQueue();
    m_dns.clearNotificationKeys();
}

bool VPNEngine::routesCarryAllIPv4() const {
    assertOnQueue();
    return m_routes.carriesAllIPv4();
}

bool VPNEngine::killSwitchLoaded() const {
    assertOnQueue();
    return m_killSwitch.isLoaded();
}

bool VPNEngine::killSwitchHolding() const {
    assertOnQueue();
    return m_killSwitch.isHolding();
}

} // namespace torvane

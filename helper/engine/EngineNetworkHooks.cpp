// The points where the engine keeps the machine's routes, DNS, DNS proxy,
// IPv6 and firewall in line with the live tunnels. The engine calls each of
// them at its fixed place in the life cycle.
#include "VPNEngine.h"

namespace torvane {

void VPNEngine::reconcileAll() {
    assertOnQueue(__func__);
    reconcileRoutes();
    reconcileDNS();
    reconcileIPv6();
    reconcileKillSwitch();
}

void VPNEngine::reconcileRoutes() {
    assertOnQueue(__func__);
    m_routes.reconcile(byPriority(), allTunnels());
}

void VPNEngine::reconcileDNS() {
    assertOnQueue(__func__);
    m_dns.reconcileDNS(byPriority());
}

void VPNEngine::reconcileIPv6() {
    assertOnQueue(__func__);
    m_ipv6.reconcileIPv6(allTunnels());
}

void VPNEngine::reconcileKillSwitch() {
    assertOnQueue(__func__);
    m_killSwitch.reconcileKillSwitch(allTunnels());
}

void VPNEngine::removeAllRoutes() {
    assertOnQueue(__func__);
    m_routes.removeAllRoutes();
}

void VPNEngine::stopDnsmasq() {
    assertOnQueue(__func__);
    m_dnsProxy.stopDnsmasq();
}

void VPNEngine::forgetDnsmasq() {
    assertOnQueue(__func__);
    m_dnsProxy.forgetDnsmasq();
}

void VPNEngine::deactivateKillSwitch() {
    assertOnQueue(__func__);
    // No tunnel needs the table any more, but one a killed predecessor had
    // may still be held for.
    m_killSwitch.reconcileKillSwitch({});
}

void VPNEngine::liftKillSwitchHold() {
    assertOnQueue(__func__);
    m_killSwitch.endHold();
}

bool VPNEngine::forgetKillSwitchHold(std::string_view profileID) {
    assertOnQueue(__func__);
    const auto id = Uuid::parse(profileID);
    return id && m_killSwitch.forgetHeldProfile(*id);
}

void VPNEngine::restoreIPv6() {
    assertOnQueue(__func__);
    m_ipv6.restoreIPv6();
}

void VPNEngine::restoreDNS() {
    assertOnQueue(__func__);
    m_dns.restoreDNS();
}

void VPNEngine::addGatewayExclusionRoute(const std::string& host) {
    assertOnQueue(__func__);
    m_routes.addGatewayExclusionRoute(host);
}

void VPNEngine::clearUnderlyingDefaultGateway() {
    assertOnQueue(__func__);
    m_routes.clearUnderlyingDefaultGateway();
}

void VPNEngine::updateNetworkNotifications() {
    assertOnQueue(__func__);
    m_dns.updateNotificationKeys(!m_tunnels.empty());
}

void VPNEngine::clearNetworkNotifications() {
    assertOnQueue(__func__);
    m_dns.clearNotificationKeys();
}

bool VPNEngine::routesCarryAllIPv4() const {
    assertOnQueue(__func__);
    return m_routes.carriesAllIPv4();
}

bool VPNEngine::killSwitchLoaded() const {
    assertOnQueue(__func__);
    return m_killSwitch.isLoaded();
}

bool VPNEngine::killSwitchHolding() const {
    assertOnQueue(__func__);
    return m_killSwitch.isHolding();
}

} // namespace torvane

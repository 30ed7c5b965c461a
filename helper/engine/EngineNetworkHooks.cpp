// The points where the engine keeps the machine's routes, DNS, DNS proxy,
// IPv6 and firewall in line with the live tunnels. The engine calls each of
// them at its fixed place in the life cycle.
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

void VPNEngine::reconcileDNS() {
    m_dns.reconcileDNS(byPriority());
}

void VPNEngine::reconcileIPv6() {
    m_ipv6.reconcileIPv6(allTunnels());
}

void VPNEngine::reconcileKillSwitch() {
    m_killSwitch.reconcileKillSwitch(allTunnels());
}

void VPNEngine::removeAllRoutes() {
    m_routes.removeAllRoutes();
}

void VPNEngine::stopDnsmasq() {
    m_dnsProxy.stopDnsmasq();
}

void VPNEngine::forgetDnsmasq() {
    m_dnsProxy.forgetDnsmasq();
}

void VPNEngine::deactivateKillSwitch() {
    // No tunnel needs the table any more, but one a killed predecessor had
    // may still be held for.
    m_killSwitch.reconcileKillSwitch({});
}

void VPNEngine::liftKillSwitchHold() {
    m_killSwitch.endHold();
}

bool VPNEngine::forgetKillSwitchHold(std::string_view profileID) {
    const auto id = Uuid::parse(profileID);
    return id && m_killSwitch.forgetHeldProfile(*id);
}

void VPNEngine::restoreIPv6() {
    m_ipv6.restoreIPv6();
}

void VPNEngine::restoreDNS() {
    m_dns.restoreDNS();
}

void VPNEngine::addGatewayExclusionRoute(const std::string& host) {
    m_routes.addGatewayExclusionRoute(host);
}

void VPNEngine::clearUnderlyingDefaultGateway() {
    m_routes.clearUnderlyingDefaultGateway();
}

void VPNEngine::updateNetworkNotifications() {
    m_dns.updateNotificationKeys(!m_tunnels.empty());
}

void VPNEngine::clearNetworkNotifications() {
    m_dns.clearNotificationKeys();
}

bool VPNEngine::routesCarryAllIPv4() const {
    return m_routes.carriesAllIPv4();
}

bool VPNEngine::killSwitchLoaded() const {
    return m_killSwitch.isLoaded();
}

bool VPNEngine::killSwitchHolding() const {
    return m_killSwitch.isHolding();
}

} // namespace torvane

// The engine's one handle on the machine's network settings: each operation
// here is called at its fixed place in the tunnel life cycle.
#include "helper/network/NetworkState.h"

#include <chrono>

namespace torvane {
namespace {

// The limit of one undo call that can block (a host name to resolve).
constexpr std::chrono::seconds kToolTimeLimit{10};

} // namespace

NetworkState::NetworkState(NetworkContext context, ProcessLauncher& launcher, Clock& clock,
                           DynamicStoreFactory openStore, const EngineQueue& queue,
                           LinkWatchOpener openLinkWatch)
    : m_queue(queue), m_context(std::move(context)), m_openStore(std::move(openStore)),
      m_openLinkWatch(std::move(openLinkWatch)), m_dnsProxy(m_context, launcher, clock),
      m_dns(m_context, m_dnsProxy, m_openStore) {}

void NetworkState::reconcileAll(const std::vector<Tunnel*>& byPriority,
                                const std::vector<Tunnel*>& inStartOrder) {
    assertOnQueue(__func__);
    m_routes.reconcile(byPriority, inStartOrder);
    m_dns.reconcileDNS(byPriority);
    m_ipv6.reconcileIPv6(inStartOrder);
    followLinksWhileIPv6IsHeld();
    m_killSwitch.reconcileKillSwitch(inStartOrder);
}

void NetworkState::followLinksWhileIPv6IsHeld() {
    if (!m_ipv6.ipv6LeakPreventionActive()) {
        m_linkWatch.reset();
        return;
    }
    if (m_linkWatch || !m_openLinkWatch) {
        return;
    }
    auto watch = m_openLinkWatch([this] {
        assertOnQueue("link change");
        m_ipv6.revisitServices();
    });
    if (!watch) {
        m_context.log("IPv6 leak prevention: interfaces that come up later are not watched — " +
                      watch.error());
        return;
    }
    m_linkWatch = std::move(*watch);
    // One that came up between the first pass and the watch.
    m_ipv6.revisitServices();
}

void NetworkState::reconcileKillSwitch(const std::vector<Tunnel*>& inStartOrder) {
    assertOnQueue(__func__);
    m_killSwitch.reconcileKillSwitch(inStartOrder);
}

void NetworkState::setPathChangeHandler(std::function<void()> handler) {
    // The store's callback runs on the queue and re-applies the DNS override
    // first; a new primary service then means a new network path.
    m_dns.setPrimaryServiceChangeHandler(std::move(handler));
}

void NetworkState::updateNotifications(bool tunnelsExist) {
    assertOnQueue(__func__);
    m_dns.updateNotificationKeys(tunnelsExist);
}

void NetworkState::clearNotifications() {
    assertOnQueue(__func__);
    m_dns.clearNotificationKeys();
}

bool NetworkState::recoverExitedDnsProxy(const std::vector<Tunnel*>& byPriority) {
    assertOnQueue(__func__);
    return m_dns.recoverExitedProxy(byPriority);
}

void NetworkState::removeAllRoutes() {
    assertOnQueue(__func__);
    m_routes.removeAllRoutes();
}

void NetworkState::removeDefaultRouteHalves() {
    assertOnQueue(__func__);
    m_context.routes.apply({{RouteChange::Action::remove, {.cidr = "0.0.0.0/1"}},
                            {RouteChange::Action::remove, {.cidr = "128.0.0.0/1"}}},
                           std::chrono::seconds(30));
}

void NetworkState::addGatewayExclusionRoute(const std::string& host) {
    assertOnQueue(__func__);
    m_routes.addGatewayExclusionRoute(host);
}

void NetworkState::refreshGatewayExclusions() {
    assertOnQueue(__func__);
    m_routes.refreshGatewayExclusions();
}

void NetworkState::clearUnderlyingDefaultGateway() {
    assertOnQueue(__func__);
    m_routes.clearUnderlyingDefaultGateway();
}

bool NetworkState::routesCarryAllIPv4() const {
    assertOnQueue(__func__);
    return m_routes.carriesAllIPv4();
}

void NetworkState::stopDnsmasq() {
    assertOnQueue(__func__);
    m_dnsProxy.stopDnsmasq();
}

void NetworkState::forgetDnsmasq() {
    assertOnQueue(__func__);
    m_dnsProxy.forgetDnsmasq();
}

void NetworkState::restoreDNS() {
    assertOnQueue(__func__);
    m_dns.restoreDNS();
}

void NetworkState::restoreIPv6() {
    assertOnQueue(__func__);
    m_ipv6.restoreIPv6();
    followLinksWhileIPv6IsHeld();
}

void NetworkState::deactivateKillSwitch() {
    assertOnQueue(__func__);
    // No tunnel needs the table any more, but one a killed predecessor had
    // may still be held for.
    m_killSwitch.reconcileKillSwitch({});
}

void NetworkState::liftKillSwitchHold() {
    assertOnQueue(__func__);
    m_killSwitch.endHold();
}

bool NetworkState::forgetKillSwitchHold(std::string_view profileID) {
    assertOnQueue(__func__);
    const auto id = Uuid::parse(profileID);
    return id && m_killSwitch.forgetHeldProfile(*id);
}

void NetworkState::releaseKillSwitchWhateverIsLoaded() {
    assertOnQueue(__func__);
    m_killSwitch.releaseWhateverIsLoaded();
}

void NetworkState::holdKillSwitchAfterRestart(
    const std::vector<std::pair<std::string, UndoStep>>& steps) {
    assertOnQueue(__func__);
    m_killSwitch.holdAfterRestart(steps);
}

bool NetworkState::killSwitchLoaded() const {
    assertOnQueue(__func__);
    return m_killSwitch.isLoaded();
}

bool NetworkState::killSwitchHolding() const {
    assertOnQueue(__func__);
    return m_killSwitch.isHolding();
}

void NetworkState::setKillSwitchLockdown(std::vector<KillSwitchProfile> profiles) {
    assertOnQueue(__func__);
    m_killSwitch.setLockdown(std::move(profiles));
}

bool NetworkState::isKillSwitchLockdownProfile(const Uuid& profileID) const {
    assertOnQueue(__func__);
    return m_killSwitch.isLockdownProfile(profileID);
}

void NetworkState::undo(const std::string& key, const UndoStep& step) {
    assertOnQueue(__func__);
    const auto& log = m_context.log;
    switch (step.kind) {
    case UndoStep::Kind::tool:
        // Written by a daemon that still ran network programs; this one has
        // none, and replaying a command line from a file is not safe anyway.
        log("restore: " + key + " names no known tool — skipped");
        return;
    case UndoStep::Kind::route: {
        const auto outcome = m_context.routes.apply(
            {{RouteChange::Action::remove, {.cidr = step.cidr}}}, kToolTimeLimit);
        log("restored " + key +
            (outcome.front().ok ? std::string(": ok") : ": " + outcome.front().error));
        return;
    }
    case UndoStep::Kind::hostRoute: {
        const auto outcome = m_context.routes.deleteHostRoute(step.host, kToolTimeLimit);
        log("restored " + key + (outcome.ok ? std::string(": ok") : ": " + outcome.error));
        return;
    }
    case UndoStep::Kind::storeValue: {
        auto store = m_openStore({});
        if (!store) {
            log("restore of " + key + " FAILED: " + store.error());
            return;
        }
        const bool done = step.storeDictionary
                              ? (*store)->setValue(step.storeKey, *step.storeDictionary)
                              : (*store)->removeValue(step.storeKey);
        log("restored " + key + (done ? std::string(": ok") : ": " + (*store)->lastErrorText()));
        return;
    }
    case UndoStep::Kind::ipv6Mode: {
        const auto failure = m_context.ipv6.setMode(step.service, step.ipv6Mode);
        if (failure && m_ipv6.serviceGone(step.service)) {
            log("restored " + key + ": the interface is gone, and its settings with it");
            return;
        }
        log("restored " + key + (failure ? ": " + failure->message : std::string(": ok")));
        return;
    }
    case UndoStep::Kind::firewall: {
        const auto failure = m_context.firewall.release();
        log("restored " + key + (failure ? ": " + failure->message : std::string(": ok")));
        return;
    }
    case UndoStep::Kind::process:
        // Ending processes is the caller's: it knows which are charon.
        return;
    }
}

} // namespace torvane

#pragma once

#include "helper/engine/EngineQueue.h"
#include "helper/engine/Tunnel.h"
#include "helper/network/ChangeJournal.h"
#include "helper/network/DnsOverride.h"
#include "helper/network/DnsProxy.h"
#include "helper/network/DynamicStore.h"
#include "helper/network/Ipv6Guard.h"
#include "helper/network/KillSwitch.h"
#include "helper/network/LinkWatch.h"
#include "helper/network/NetworkContext.h"
#include "helper/network/RouteTable.h"
#include "shared/Clock.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace torvane {

/// Everything the engine changes on the machine besides charon: routes, DNS
/// and the local DNS proxy, IPv6 and the kill switch. The engine hands in its
/// tunnels at each call, most important first (`byPriority`) or in start
/// order (`inStartOrder`); this class keeps only what it installed.
///
/// Lives inside the engine and runs on its queue only: every member checks
/// that through the queue it is given.
class NetworkState {
public:
    /// `openStore` opens a configuration store session (DNS, and the undo of
    /// a killed predecessor's DNS changes); its notifications must arrive on
    /// the engine queue. `openLinkWatch` watches the interfaces while IPv6 is
    /// held off, its handler on the engine queue too; empty: none is watched.
    NetworkState(NetworkContext context, ProcessLauncher& launcher, Clock& clock,
                 DynamicStoreFactory openStore, const EngineQueue& queue,
                 LinkWatchOpener openLinkWatch = {});
    NetworkState(const NetworkState&) = delete;
    NetworkState& operator=(const NetworkState&) = delete;

    /// Shared with the other parts that journal their changes (charon).
    NetworkContext& context() { return m_context; }

    /// Routes, DNS, IPv6 and kill switch, in that order.
    void reconcileAll(const std::vector<Tunnel*>& byPriority,
                      const std::vector<Tunnel*>& inStartOrder);
    void reconcileKillSwitch(const std::vector<Tunnel*>& inStartOrder);
    /// The DNS store reports a new primary service: the network path changed.
    void setPathChangeHandler(std::function<void()> handler);
    /// Watches the store while tunnels exist, nothing otherwise.
    void updateNotifications(bool tunnelsExist);
    void clearNotifications();
    /// Restarts a DNS proxy that exited on its own; true when it had.
    bool recoverExitedDnsProxy(const std::vector<Tunnel*>& byPriority);

    void removeAllRoutes();
    /// Both halves of the IPv4 space, whether or not this engine knows it
    /// installed them: a lost table of ours may have left them.
    void removeDefaultRouteHalves();
    void addGatewayExclusionRoute(const std::string& host);
    void refreshGatewayExclusions();
    void clearUnderlyingDefaultGateway();
    bool routesCarryAllIPv4() const;

    void stopDnsmasq();
    /// The force kill's drop of the proxy, without the graceful stop.
    void forgetDnsmasq();
    void restoreDNS();
    void restoreIPv6();

    /// Releases the kill switch unless it holds for a killed predecessor's
    /// tunnels.
    void deactivateKillSwitch();
    /// Stop-all, force kill, daemon stop: a held kill switch may go.
    void liftKillSwitchHold();
    /// A stop of `profileID`: the kill switch no longer holds for it. True
    /// when it did.
    bool forgetKillSwitchHold(std::string_view profileID);
    /// Force kill: our table goes, whatever this engine knows of it.
    void releaseKillSwitchWhateverIsLoaded();
    /// Keeps the table a killed predecessor engaged (its journal `steps`).
    void holdKillSwitchAfterRestart(const std::vector<std::pair<std::string, UndoStep>>& steps);
    bool killSwitchLoaded() const;
    bool killSwitchHolding() const;
    /// See KillSwitch::setLockdown; the caller reconciles.
    void setKillSwitchLockdown(std::vector<KillSwitchProfile> profiles);
    bool isKillSwitchLockdownProfile(const Uuid& profileID) const;

    // Read-only views for the leak check.
    const RouteTable& routeTable() const { return m_routes; }
    const DnsOverride& dnsOverride() const { return m_dns; }
    bool dnsProxyRunning() const { return m_dnsProxy.isRunning(); }
    const Ipv6Guard& ipv6Guard() const { return m_ipv6; }
    const KillSwitch& killSwitch() const { return m_killSwitch; }

    /// Undoes one journaled change of a killed predecessor (every kind but
    /// a process) and logs the outcome under `key`.
    void undo(const std::string& key, const UndoStep& step);

private:
    void assertOnQueue(const char* function) const { m_queue.assertOwnsState(function); }
    /// Watches the interfaces exactly while the IPv6 leak prevention is
    /// engaged.
    void followLinksWhileIPv6IsHeld();

    const EngineQueue& m_queue;
    NetworkContext m_context;
    DynamicStoreFactory m_openStore;
    LinkWatchOpener m_openLinkWatch;
    RouteTable m_routes{m_context};
    DnsProxy m_dnsProxy;
    DnsOverride m_dns;
    Ipv6Guard m_ipv6{m_context};
    KillSwitch m_killSwitch{m_context};
    std::unique_ptr<LinkWatch> m_linkWatch;
};

} // namespace torvane

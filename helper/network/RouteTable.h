#pragma once

#include "helper/engine/Tunnel.h"
#include "helper/network/NetworkContext.h"
#include "shared/Uuid.h"
#include "shared/VPNProfile.h"

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace torvane {

/// The networks a profile routes: its `routes`, or else its trimmed remote
/// traffic selector as one entry (nothing when that is blank), with every
/// "0.0.0.0/0" split into "0.0.0.0/1" and "128.0.0.0/1" so the physical
/// default route stays in place underneath. No other normalisation: two
/// spellings of one network are two entries.
std::vector<std::string> effectiveCIDRs(const VPNProfile& profile);

/// True when the tunnel claims all of IPv4 ("0.0.0.0/0" among its routes or
/// selector) and nothing of IPv6 (no route and no virtual IP with ":"): such
/// a tunnel would let IPv6 traffic bypass it.
bool isFullIPv4TunnelWithoutIPv6(const Tunnel& tunnel);

/// The engine's routes: keeps the main routing table in line with the live
/// tunnels, and remembers exactly what it installed (each network route with
/// the profile that owns it, each gateway exclusion host) so that teardown
/// removes those and nothing else. The routing backend only ever deletes
/// routes it added itself, so a route someone else installed survives.
///
/// Every call runs synchronously through the context's routing backend (30 s
/// at most); a reconcile's network routes go in one batch. Failures are
/// logged, never thrown, and the next reconcile retries.
/// Not thread-safe: the engine calls it on its queue only.
class RouteTable {
public:
    explicit RouteTable(NetworkContext& context);

    /// Brings the routing table in line with the tunnels. `byPriority` are
    /// the tunnels best first (the first to claim a network owns it);
    /// `allTunnels` are every tunnel of the engine, whose gateways get an
    /// exclusion route while any tunnel routes a half-default. A tunnel with
    /// neither `vip` nor `tun` claims nothing.
    void reconcile(const std::vector<Tunnel*>& byPriority, const std::vector<Tunnel*>& allTunnels);

    /// Deletes every network route and exclusion route installed here and
    /// forgets them, whatever the kernel answers; logs nothing. The cached
    /// default gateway stays (see clearUnderlyingDefaultGateway).
    void removeAllRoutes();

    /// Pins a host route to `host` along the physical default route, so IKE
    /// and ESP packets to it stay outside a full tunnel: through its gateway,
    /// or onto its device when it has none (PPP, a mobile modem). The default
    /// route is asked for once and cached.
    void addGatewayExclusionRoute(const std::string& host);

    /// Forgets the cached physical default route; the full teardown and the
    /// force kill call it, so the next full tunnel asks again.
    void clearUnderlyingDefaultGateway();

    /// After a network path change: puts back gateway exclusion routes the
    /// kernel dropped with a link, or that still follow an old default route
    /// (another router, or a gateway where there is none now or vice versa).
    void refreshGatewayExclusions();

    /// True while a half-default route ("0.0.0.0/1" or "128.0.0.0/1") is
    /// installed, i.e. some tunnel carries all IPv4 traffic.
    bool carriesAllIPv4() const;

    const std::map<std::string, Uuid>& installedRoutes() const { return m_installedRoutes; }
    const std::set<std::string>& installedGatewayExclusions() const {
        return m_installedGatewayExclusions;
    }
    const std::optional<RouteLookup>& underlyingDefaultRoute() const {
        return m_underlyingDefaultRoute;
    }

private:
    void reconcileGatewayExclusions(const std::vector<Tunnel*>& allTunnels);
    static std::optional<NetworkRoute> networkRoute(const std::string& cidr, const Tunnel& tunnel);
    std::optional<RouteLookup> learnDefaultRoute();
    /// Journals the adds, applies the batch, forgets what is gone or failed.
    std::vector<RouteOutcome> applyChanges(const std::vector<RouteChange>& changes);
    void deleteHostRoute(const std::string& host);
    static std::string networkKey(const std::string& cidr);
    static std::string hostKey(const std::string& host);

    NetworkContext& m_context;
    /// Each network route installed here (CIDR exactly as configured)
    /// and the profile whose tunnel owns it.
    std::map<std::string, Uuid> m_installedRoutes;
    /// Hosts given a route through the physical gateway.
    std::set<std::string> m_installedGatewayExclusions;
    /// The physical default route (its gateway, or only its device), learnt
    /// before the half-default routes hide it from lookups.
    std::optional<RouteLookup> m_underlyingDefaultRoute;
};

} // namespace torvane

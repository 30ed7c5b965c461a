#include "helper/network/RouteTable.h"

#include "shared/TextPieces.h"

#include <chrono>
#include <string_view>

namespace torvane {

namespace {

// The longest a routing call may take: the resolver can be slow, the kernel
// never is.
constexpr RouteTimeLimit kRouteTimeLimit{std::chrono::seconds(30)};
constexpr std::string_view kAllIPv4 = "0.0.0.0/0";
constexpr std::string_view kLowerHalf = "0.0.0.0/1";
constexpr std::string_view kUpperHalf = "128.0.0.0/1";

/// The profile's routes as configured, before the default route is split.
std::vector<std::string> configuredCIDRs(const VPNProfile& profile) {
    if (!profile.routes.empty()) {
        return profile.routes;
    }
    const auto selector = trimmedText(profile.remoteTS);
    if (selector.empty()) {
        return {};
    }
    return {std::string(selector)};
}

bool routable(const Tunnel& tunnel) {
    return tunnel.vip || tunnel.tun;
}

/// "via GATEWAY", or "dev DEVICE" for a default route without a gateway.
std::string pathText(const RouteLookup& path) {
    return path.gateway ? "via " + *path.gateway : "dev " + path.device;
}

/// Whether `found`, the kernel's entry for a host, leads along `path`.
bool leadsAlong(const RouteLookup& found, const RouteLookup& path) {
    if (path.gateway) {
        return found.gateway == path.gateway;
    }
    return !found.gateway && found.device == path.device;
}

} // namespace

std::vector<std::string> effectiveCIDRs(const VPNProfile& profile) {
    std::vector<std::string> cidrs;
    for (auto& cidr : configuredCIDRs(profile)) {
        if (cidr == kAllIPv4) {
            cidrs.emplace_back(kLowerHalf);
            cidrs.emplace_back(kUpperHalf);
        } else {
            cidrs.push_back(std::move(cidr));
        }
    }
    return cidrs;
}

bool isFullIPv4TunnelWithoutIPv6(const Tunnel& tunnel) {
    const auto cidrs = configuredCIDRs(tunnel.profile);
    bool allIPv4 = false;
    for (const auto& cidr : cidrs) {
        if (cidr.find(':') != std::string::npos) {
            return false;
        }
        allIPv4 = allIPv4 || cidr == kAllIPv4;
    }
    const bool ipv6VIP = tunnel.vip && tunnel.vip->find(':') != std::string::npos;
    return allIPv4 && !ipv6VIP;
}

RouteTable::RouteTable(NetworkContext& context) : m_context(context) {}

void RouteTable::reconcile(const std::vector<Tunnel*>& byPriority,
                           const std::vector<Tunnel*>& allTunnels) {
    std::map<std::string, const Tunnel*> desired;
    for (const Tunnel* tunnel : byPriority) {
        if (!routable(*tunnel)) {
            continue;
        }
        for (auto& cidr : effectiveCIDRs(tunnel->profile)) {
            desired.try_emplace(std::move(cidr), tunnel);
        }
    }
    const bool full =
        desired.contains(std::string(kLowerHalf)) || desired.contains(std::string(kUpperHalf));

    // Exclusions come before any new route: the gateways must keep their
    // path outside the tunnels before the halves pull all traffic in, and the
    // physical gateway is learnt before the halves could hide it.
    if (full) {
        reconcileGatewayExclusions(allTunnels);
    }

    // Every removal and addition goes to the kernel in one batch, removals
    // first, so that a network moving to another tunnel is free when added.
    std::vector<RouteChange> changes;
    std::vector<std::string> removed;
    for (auto it = m_installedRoutes.begin(); it != m_installedRoutes.end();) {
        const auto owner = desired.find(it->first);
        if (owner != desired.end() && owner->second->profile.id == it->second) {
            ++it;
            continue;
        }
        changes.push_back({RouteChange::Action::remove, {.cidr = it->first}});
        removed.push_back(it->first);
        it = m_installedRoutes.erase(it);
    }
    std::vector<const Tunnel*> owners;
    for (const auto& [cidr, tunnel] : desired) {
        if (m_installedRoutes.contains(cidr)) {
            continue;
        }
        if (auto route = networkRoute(cidr, *tunnel)) {
            changes.push_back({RouteChange::Action::add, std::move(*route)});
            owners.push_back(tunnel);
        }
    }
    const auto outcomes = applyChanges(changes);
    for (const auto& cidr : removed) {
        m_context.log("route removed: " + cidr);
    }
    for (std::size_t i = 0; i < owners.size(); ++i) {
        const auto& route = changes[removed.size() + i].route;
        const auto& outcome = outcomes[removed.size() + i];
        const Tunnel& tunnel = *owners[i];
        if (outcome.ok) {
            m_installedRoutes.insert_or_assign(route.cidr, tunnel.profile.id);
        }
        const std::string& via = route.device.empty() ? route.viaAddress : route.device;
        m_context.log("route add " + route.cidr + " → " + via + " ['" + tunnel.profile.name +
                      "']: " + (outcome.ok ? std::string("ok") : outcome.error));
    }

    if (!full) {
        for (const auto& host : m_installedGatewayExclusions) {
            deleteHostRoute(host);
            m_context.log("gateway exclusion route removed for " + host);
        }
        m_installedGatewayExclusions.clear();
    }
}

void RouteTable::reconcileGatewayExclusions(const std::vector<Tunnel*>& allTunnels) {
    std::set<std::string> gateways;
    for (const Tunnel* tunnel : allTunnels) {
        std::string host = tunnel->remoteIP ? *tunnel->remoteIP : tunnel->profile.remoteAddr;
        if (!host.empty()) {
            gateways.insert(std::move(host));
        }
    }
    for (auto it = m_installedGatewayExclusions.begin();
         it != m_installedGatewayExclusions.end();) {
        if (gateways.contains(*it)) {
            ++it;
            continue;
        }
        const std::string host = *it;
        deleteHostRoute(host);
        it = m_installedGatewayExclusions.erase(it);
        m_context.log("gateway exclusion route removed for " + host);
    }
    for (const auto& host : gateways) {
        if (!m_installedGatewayExclusions.contains(host)) {
            addGatewayExclusionRoute(host);
        }
    }
}

std::optional<NetworkRoute> RouteTable::networkRoute(const std::string& cidr,
                                                     const Tunnel& tunnel) {
    if (tunnel.vip) {
        return NetworkRoute{.cidr = cidr, .viaAddress = *tunnel.vip};
    }
    if (tunnel.tun) {
        return NetworkRoute{.cidr = cidr, .device = *tunnel.tun};
    }
    return std::nullopt;
}

void RouteTable::removeAllRoutes() {
    std::vector<RouteChange> changes;
    for (const auto& [cidr, owner] : m_installedRoutes) {
        changes.push_back({RouteChange::Action::remove, {.cidr = cidr}});
    }
    applyChanges(changes);
    m_installedRoutes.clear();
    for (const auto& host : m_installedGatewayExclusions) {
        deleteHostRoute(host);
    }
    m_installedGatewayExclusions.clear();
}

void RouteTable::addGatewayExclusionRoute(const std::string& host) {
    if (!m_underlyingDefaultRoute) {
        m_underlyingDefaultRoute = learnDefaultRoute();
    }
    if (!m_underlyingDefaultRoute) {
        m_context.log("gateway exclusion: could not determine default gateway — skipping");
        return;
    }
    const RouteLookup& path = *m_underlyingDefaultRoute;
    // Journaled before it exists, so a daemon that dies leaves a way back.
    m_context.recordUndo(hostKey(host), UndoStep::deleteHostRoute(host));
    const auto outcome =
        path.gateway ? m_context.routes.addHostRoute(host, *path.gateway, kRouteTimeLimit)
                     : m_context.routes.addHostRouteOnDevice(host, path.device, kRouteTimeLimit);
    if (!outcome.ok) {
        m_context.forgetUndo(hostKey(host));
        m_context.log("gateway exclusion route add failed: " + outcome.error);
        return;
    }
    m_installedGatewayExclusions.insert(host);
    m_context.log("gateway exclusion route: " + host + " " + pathText(path));
}

void RouteTable::refreshGatewayExclusions() {
    if (m_installedGatewayExclusions.empty()) {
        return;
    }
    // A link that went down took its routes with it, and a new network may
    // have a new router, or none (a modem's link): an exclusion missing or
    // along the old path would send IKE and ESP into the tunnel itself.
    const auto path = learnDefaultRoute();
    const bool newPath = path && path != m_underlyingDefaultRoute;
    std::vector<std::string> lost;
    for (const auto& host : m_installedGatewayExclusions) {
        const auto found = m_context.routes.lookup(host, kRouteTimeLimit);
        const bool present = !newPath && m_underlyingDefaultRoute && found &&
                             found->destination == host &&
                             leadsAlong(*found, *m_underlyingDefaultRoute);
        if (!present) {
            lost.push_back(host);
        }
    }
    if (lost.empty()) {
        return;
    }
    if (path) {
        m_underlyingDefaultRoute = path;
    }
    for (const auto& host : lost) {
        deleteHostRoute(host);
        m_installedGatewayExclusions.erase(host);
        m_context.log("gateway exclusion route for " + host +
                      " lost with the network path — adding it again");
        addGatewayExclusionRoute(host);
    }
}

std::optional<RouteLookup> RouteTable::learnDefaultRoute() {
    auto route = m_context.routes.defaultRoute(kRouteTimeLimit);
    if (!route) {
        return std::nullopt;
    }
    if (route->gateway && !route->gateway->empty()) {
        return std::move(*route);
    }
    // A default route without a gateway (a point-to-point link) sends
    // everything straight onto its device: so do the exclusions.
    if (route->device.empty()) {
        return std::nullopt;
    }
    route->gateway.reset();
    return std::move(*route);
}

void RouteTable::clearUnderlyingDefaultGateway() {
    m_underlyingDefaultRoute.reset();
}

bool RouteTable::carriesAllIPv4() const {
    return m_installedRoutes.contains(std::string(kLowerHalf)) ||
           m_installedRoutes.contains(std::string(kUpperHalf));
}

std::vector<RouteOutcome> RouteTable::applyChanges(const std::vector<RouteChange>& changes) {
    // Every route added here is journaled before it exists and forgotten
    // once deleted, so a daemon that dies leaves a way back.
    std::vector<std::pair<std::string, UndoStep>> undos;
    for (const auto& change : changes) {
        if (change.action == RouteChange::Action::add) {
            undos.emplace_back(networkKey(change.route.cidr),
                               UndoStep::deleteRoute(change.route.cidr));
        }
    }
    m_context.recordUndos(std::move(undos));
    auto outcomes = m_context.routes.apply(changes, kRouteTimeLimit);
    std::vector<std::string> done;
    for (std::size_t i = 0; i < changes.size(); ++i) {
        const bool adding = changes[i].action == RouteChange::Action::add;
        if (!adding || !outcomes[i].ok) {
            done.push_back(networkKey(changes[i].route.cidr));
        }
    }
    m_context.forgetUndos(done);
    return outcomes;
}

void RouteTable::deleteHostRoute(const std::string& host) {
    m_context.routes.deleteHostRoute(host, kRouteTimeLimit);
    m_context.forgetUndo(hostKey(host));
}

std::string RouteTable::networkKey(const std::string& cidr) {
    return "route " + cidr;
}

std::string RouteTable::hostKey(const std::string& host) {
    return "host route " + host;
}

} // namespace torvane

#include "RouteTable.h"

#include <chrono>
#include <string_view>

namespace torvane {

namespace {

constexpr std::chrono::seconds kRouteTimeout{30};
constexpr std::string_view kAllIPv4 = "0.0.0.0/0";
constexpr std::string_view kLowerHalf = "0.0.0.0/1";
constexpr std::string_view kUpperHalf = "128.0.0.0/1";

std::string_view trimBlanks(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

/// The profile's routes as configured, before the default route is split.
std::vector<std::string> configuredCIDRs(const VPNProfile& profile) {
    if (!profile.routes.empty()) {
        return profile.routes;
    }
    const auto selector = trimBlanks(profile.remoteTS);
    if (selector.empty()) {
        return {};
    }
    return {std::string(selector)};
}

bool routable(const Tunnel& tunnel) {
    return tunnel.vip || tunnel.tun;
}

/// The value of the first "LABEL:" line of `route get` output, if any.
std::optional<std::string> routeGetField(std::string_view output, std::string_view field) {
    const std::string label = std::string(field) + ":";
    while (!output.empty()) {
        const auto end = output.find('\n');
        const auto line = trimBlanks(output.substr(0, end));
        output = end == std::string_view::npos ? std::string_view{} : output.substr(end + 1);
        if (!line.starts_with(label)) {
            continue;
        }
        std::string value(line);
        for (auto at = value.find(label); at != std::string::npos; at = value.find(label)) {
            value.erase(at, label.size());
        }
        return std::string(trimBlanks(value));
    }
    return std::nullopt;
}

std::optional<std::string> gatewayFromRouteGet(std::string_view output) {
    return routeGetField(output, "gateway");
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

    for (auto it = m_installedRoutes.begin(); it != m_installedRoutes.end();) {
        const auto owner = desired.find(it->first);
        if (owner != desired.end() && owner->second->profile.id == it->second) {
            ++it;
            continue;
        }
        const std::string cidr = it->first;
        route({"-n", "delete", "-net", cidr});
        it = m_installedRoutes.erase(it);
        m_context.log("route removed: " + cidr);
    }

    for (const auto& [cidr, tunnel] : desired) {
        if (!m_installedRoutes.contains(cidr)) {
            addNetworkRoute(cidr, *tunnel);
        }
    }

    if (!full) {
        for (const auto& host : m_installedGatewayExclusions) {
            route({"delete", "-host", host});
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
        route({"delete", "-host", host});
        it = m_installedGatewayExclusions.erase(it);
        m_context.log("gateway exclusion route removed for " + host);
    }
    for (const auto& host : gateways) {
        if (!m_installedGatewayExclusions.contains(host)) {
            addGatewayExclusionRoute(host);
        }
    }
}

void RouteTable::addNetworkRoute(const std::string& cidr, const Tunnel& tunnel) {
    std::vector<std::string> args{"-n", "add", "-net", cidr};
    std::string via;
    if (tunnel.vip) {
        via = *tunnel.vip;
        args.push_back(via);
    } else if (tunnel.tun) {
        via = *tunnel.tun;
        args.push_back("-interface");
        args.push_back(via);
    } else {
        return;
    }
    const auto result = route(args);
    std::string outcome;
    if (result.status == 0) {
        m_installedRoutes.insert_or_assign(cidr, tunnel.profile.id);
        outcome = "ok";
    } else if (!result.output.empty()) {
        outcome = result.output;
    } else {
        outcome = "exit(" + std::to_string(result.status) + ")";
    }
    m_context.log("route add " + cidr + " → " + via + " ['" + tunnel.profile.name +
                  "']: " + outcome);
}

void RouteTable::removeAllRoutes() {
    for (const auto& [cidr, owner] : m_installedRoutes) {
        route({"-n", "delete", "-net", cidr});
    }
    m_installedRoutes.clear();
    for (const auto& host : m_installedGatewayExclusions) {
        route({"delete", "-host", host});
    }
    m_installedGatewayExclusions.clear();
}

void RouteTable::addGatewayExclusionRoute(const std::string& host) {
    if (!m_underlyingDefaultGateway) {
        m_underlyingDefaultGateway = learnDefaultGateway();
    }
    if (!m_underlyingDefaultGateway) {
        m_context.log("gateway exclusion: could not determine default gateway — skipping");
        return;
    }
    const std::string& gateway = *m_underlyingDefaultGateway;
    const auto result = route({"add", "-host", host, gateway});
    if (result.status != 0) {
        m_context.log("gateway exclusion route add failed: " + result.output);
        return;
    }
    m_installedGatewayExclusions.insert(host);
    m_context.log("gateway exclusion route: " + host + " via " + gateway);
}

void RouteTable::refreshGatewayExclusions() {
    if (m_installedGatewayExclusions.empty()) {
        return;
    }
    // A link that went down took its routes with it, and a new network may
    // have a new router: an exclusion missing or via the old router would
    // send IKE and ESP into the tunnel itself.
    const auto gateway = learnDefaultGateway();
    const bool newRouter = gateway && gateway != m_underlyingDefaultGateway;
    std::vector<std::string> lost;
    for (const auto& host : m_installedGatewayExclusions) {
        const auto report = route({"get", host}).output;
        const bool present = !newRouter && routeGetField(report, "destination") == host &&
                             gatewayFromRouteGet(report) == m_underlyingDefaultGateway;
        if (!present) {
            lost.push_back(host);
        }
    }
    if (lost.empty()) {
        return;
    }
    if (gateway) {
        m_underlyingDefaultGateway = gateway;
    }
    for (const auto& host : lost) {
        route({"delete", "-host", host});
        m_installedGatewayExclusions.erase(host);
        m_context.log("gateway exclusion route for " + host +
                      " lost with the network path — adding it again");
        addGatewayExclusionRoute(host);
    }
}

std::optional<std::string> RouteTable::learnDefaultGateway() {
    // The exit status says nothing the output does not: no "gateway:" line
    // means no gateway. An empty value is no gateway either; caching it would
    // hand the tool an empty gateway on every later exclusion.
    auto gateway = gatewayFromRouteGet(route({"get", "0.0.0.0"}).output);
    if (gateway && gateway->empty()) {
        gateway.reset();
    }
    return gateway;
}

void RouteTable::clearUnderlyingDefaultGateway() {
    m_underlyingDefaultGateway.reset();
}

bool RouteTable::carriesAllIPv4() const {
    return m_installedRoutes.contains(std::string(kLowerHalf)) ||
           m_installedRoutes.contains(std::string(kUpperHalf));
}

CommandResult RouteTable::route(const std::vector<std::string>& args) {
    // Every route this table adds is journaled before it exists and
    // forgotten once deleted, so a daemon that dies leaves a way back.
    const bool addsNet = args.size() >= 4 && args[1] == "add" && args[2] == "-net";
    const bool addsHost = args.size() >= 3 && args[0] == "add" && args[1] == "-host";
    if (addsNet) {
        m_context.recordUndo("route " + args[3],
                             UndoStep::runTool("route", {"-n", "delete", "-net", args[3]}));
    } else if (addsHost) {
        m_context.recordUndo("host route " + args[2],
                             UndoStep::runTool("route", {"delete", "-host", args[2]}));
    }
    auto result = m_context.runner.runCommand(m_context.locator.tool("route"), args, std::nullopt,
                                              kRouteTimeout);
    if (addsNet && result.status != 0) {
        m_context.forgetUndo("route " + args[3]);
    } else if (addsHost && result.status != 0) {
        m_context.forgetUndo("host route " + args[2]);
    } else if (args.size() >= 4 && args[1] == "delete" && args[2] == "-net") {
        m_context.forgetUndo("route " + args[3]);
    } else if (args.size() >= 3 && args[0] == "delete" && args[1] == "-host") {
        m_context.forgetUndo("host route " + args[2]);
    }
    return result;
}

} // namespace torvane

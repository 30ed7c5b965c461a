// Bringing a staged tunnel up and learning its virtual IP, gateway address
// and tunnel interface.
#include "EngineError.h"
#include "RouteOutput.h"
#include "SwanctlOutput.h"
#include "VPNEngine.h"

#include <set>

namespace torvane {

void VPNEngine::initiate(Tunnel& tunnel, const std::string& swanctlBin) {
    tunnel.vip.reset();
    tunnel.tun.reset();

    const CommandResult result =
        runSwanctl(swanctlBin, {"--initiate", "--child", tunnel.strongswanName()}, 20);
    log(result.output);

    const TunnelInfo info = parseTunnelInfo(result.output);
    if (info.vip) {
        tunnel.vip = info.vip;
    }
    if (info.tun) {
        tunnel.tun = info.tun;
    }
    if (!tunnel.vip || !tunnel.remoteIP) {
        parseSAInfo(tunnel, swanctlBin);
    }
    if (!tunnel.tun) {
        discoverTun(tunnel);
    }
    if (!tunnel.vip && !tunnel.tun && result.status != 0) {
        throw EngineError("Tunnel did not establish (check credentials / gateway). swanctl exit " +
                          std::to_string(result.status));
    }
    if (childSAInstalled(tunnel, swanctlBin)) {
        pushStatus();
        return;
    }
    throw EngineError("IKE_SA (Phase 1) established but CHILD_SA (Phase 2/ESP) failed to install — "
                      "check ESP proposals/PFS group");
}

void VPNEngine::parseSAInfo(Tunnel& tunnel, const std::string& swanctlBin) {
    for (int retries = 0;; ++retries) {
        const CommandResult listing =
            runSwanctl(swanctlBin, {"--list-sas", "--ike", tunnel.strongswanName()}, 5);
        const SAListingInfo info = parseSAListing(listing.output);
        if (!tunnel.vip && info.vip) {
            tunnel.vip = info.vip;
        }
        if (info.remoteIP) {
            tunnel.remoteIP = info.remoteIP;
        }
        if (tunnel.vip || retries == 3 || !tunnel.profile.requestVIP) {
            return;
        }
        // charon may report the assigned address a moment after initiation.
        m_env.clock.sleep(std::chrono::milliseconds(250));
    }
}

void VPNEngine::discoverTun(Tunnel& tunnel) {
    const auto timeout = std::chrono::seconds(30);
    if (tunnel.vip) {
        const CommandResult route = m_env.runner.runCommand(
            m_env.locator.tool("route"), {"get", *tunnel.vip}, std::nullopt, timeout);
        if (auto name = routeGetInterface(route.output, m_env.tunnelInterfacePrefix)) {
            tunnel.tun = *name;
            log("utun discovered via route get: " + *name);
            return;
        }
    }
    std::set<std::string> taken;
    for (const auto& other : m_tunnels) {
        if (other.get() != &tunnel && other->tun) {
            taken.insert(*other->tun);
        }
    }
    const CommandResult netstat = m_env.runner.runCommand(
        m_env.locator.tool("netstat"), {"-rn", "-f", "inet"}, std::nullopt, timeout);
    if (auto found =
            netstatHostRouteInterface(netstat.output, m_env.tunnelInterfacePrefix, taken)) {
        tunnel.tun = found->interfaceName;
        if (!tunnel.vip) {
            tunnel.vip = found->destination;
        }
        log("utun discovered via netstat: " + found->interfaceName + " (VIP " + found->destination +
            ")");
        return;
    }
    log("utun discovery failed for '" + tunnel.profile.name +
        "' — its routes will not be installed");
}

bool VPNEngine::childSAInstalled(const Tunnel& tunnel, const std::string& swanctlBin) {
    const CommandResult listing =
        runSwanctl(swanctlBin, {"--list-sas", "--ike", tunnel.strongswanName()}, 5);
    return listingShowsEstablishedAndInstalled(listing.output);
}

} // namespace torvane

// Bringing a staged tunnel up and learning its virtual IP, gateway address
// and tunnel interface.
#include "helper/engine/VPNEngine.h"
#include "helper/process/EngineError.h"
#include "helper/strongswan/SwanctlOutput.h"

#include <set>

namespace torvane {

void VPNEngine::initiate(Tunnel& tunnel) {
    assertOnQueue(__func__);
    tunnel.vip.reset();
    tunnel.tun.reset();

    const CommandResult result =
        m_env.vici.initiate(viciUri(), tunnel.strongswanName(), std::chrono::seconds(20));
    log(result.output);

    const TunnelInfo info = parseTunnelInfo(result.output);
    if (info.vip) {
        tunnel.vip = info.vip;
    }
    if (info.tun) {
        tunnel.tun = info.tun;
    }
    if (!tunnel.vip || !tunnel.remoteIP) {
        parseSAInfo(tunnel);
    }
    if (!tunnel.tun) {
        discoverTun(tunnel);
    }
    if (!tunnel.vip && !tunnel.tun && result.status != 0) {
        throw EngineError("Tunnel did not establish (check credentials / gateway). swanctl exit " +
                          std::to_string(result.status));
    }
    if (childSAInstalled(tunnel)) {
        pushStatus();
        return;
    }
    throw EngineError("IKE_SA (Phase 1) established but CHILD_SA (Phase 2/ESP) failed to install — "
                      "check ESP proposals/PFS group");
}

std::optional<IkeSaState> VPNEngine::ikeSaState(const Tunnel& tunnel) {
    assertOnQueue(__func__);
    const auto states =
        m_env.vici.listSAs(viciUri(), tunnel.strongswanName(), std::chrono::seconds(5));
    if (!states) {
        log("SA listing failed: " + states.error());
        return std::nullopt;
    }
    for (const IkeSaState& state : *states) {
        if (state.name == tunnel.strongswanName()) {
            return state;
        }
    }
    return std::nullopt;
}

void VPNEngine::parseSAInfo(Tunnel& tunnel) {
    assertOnQueue(__func__);
    for (int retries = 0;; ++retries) {
        const auto state = ikeSaState(tunnel);
        if (!tunnel.vip && state && state->vip) {
            tunnel.vip = state->vip;
        }
        if (state && state->remoteIP) {
            tunnel.remoteIP = state->remoteIP;
        }
        if (tunnel.vip || retries == 3 || !tunnel.profile.requestVIP) {
            return;
        }
        // charon may report the assigned address a moment after initiation.
        m_env.clock.sleep(std::chrono::milliseconds(250));
    }
}

void VPNEngine::discoverTun(Tunnel& tunnel) {
    assertOnQueue(__func__);
    const auto limit = std::chrono::seconds(30);
    const std::string& prefix = m_env.tunnelInterfacePrefix;
    if (tunnel.vip) {
        const auto found = m_env.routes.lookup(*tunnel.vip, limit);
        if (found && !found->device.empty() && found->device.starts_with(prefix)) {
            tunnel.tun = found->device;
            log("ipsec interface discovered via route get: " + found->device);
            return;
        }
    }
    std::set<std::string> taken;
    for (const auto& other : m_tunnels) {
        if (other.get() != &tunnel && other->tun) {
            taken.insert(*other->tun);
        }
    }
    // A point-to-point host route of a tunnel device no other tunnel holds:
    // its destination is the virtual IP. Entries of this machine's own
    // addresses never count.
    const auto rows = m_env.routes.table(limit);
    for (const auto& row : rows ? *rows : std::vector<RouteTableRow>{}) {
        if (!row.host || row.local || !row.device.starts_with(prefix) ||
            row.gateway != row.destination || taken.contains(row.device)) {
            continue;
        }
        tunnel.tun = row.device;
        if (!tunnel.vip) {
            tunnel.vip = row.destination;
        }
        log("ipsec interface discovered via netstat: " + row.device + " (VIP " + row.destination +
            ")");
        return;
    }
    log("ipsec interface discovery failed for '" + tunnel.profile.name +
        "' — its routes will not be installed");
}

bool VPNEngine::childSAInstalled(const Tunnel& tunnel) {
    assertOnQueue(__func__);
    const auto state = ikeSaState(tunnel);
    return state && state->established && state->childInstalled;
}

} // namespace torvane

// The leak self-check: looks at routes, DNS, IPv6, the kill switch and
// charon while tunnels are up, and changes nothing. It runs as one job on the
// engine queue, so it reads the tunnels and what the network parts installed
// without racing them; every lookup has a short limit of its own, and the
// whole call one more (the queue may be busy with a start or reconnect).
#include "helper/engine/VPNEngine.h"
#include "helper/network/ResolverFinding.h"
#include "helper/network/RouteTable.h"

#include <algorithm>
#include <arpa/inet.h>

namespace torvane {
namespace {

constexpr RouteTimeLimit kLookupLimit{300};
constexpr std::chrono::milliseconds kDnsLimit{800};
constexpr std::chrono::milliseconds kSaListLimit{1000};
/// Route lookups stop here, leaving time for the other checks.
constexpr std::chrono::milliseconds kRoutesBudget{1000};
/// One address in each half of the IPv4 space a full tunnel covers. Only
/// looked up, never sent to.
constexpr std::array<const char*, 2> kFullTunnelProbes = {"64.0.0.1", "192.0.2.1"};

const char* const kReconnectHint =
    "Reconnect the tunnel (torvanectl disconnect, then connect), which puts it back.";

bool isIPv4Literal(const std::string& text) {
    in_addr parsed{};
    return inet_pton(AF_INET, text.c_str(), &parsed) == 1;
}

std::string joined(const std::vector<std::string>& items) {
    std::string text;
    for (const auto& item : items) {
        text += (text.empty() ? "" : ", ") + item;
    }
    return text;
}

void add(std::vector<LeakFinding>& findings, std::string check, std::string_view level,
         std::string text, std::string hint = {}) {
    findings.push_back(
        {std::move(check), std::string(level), std::move(text), level == kLeakOK ? "" : hint});
}

} // namespace

void VPNEngine::leakCheck(std::function<void(std::string json)> reply) {
    const std::vector<LeakFinding> busy = {
        {"check", std::string(kLeakWarning),
         "the helper is busy changing a tunnel and could not run the check in time",
         "Run the check again in a moment."}};
    auto once =
        m_replyDeadlines.arm(std::move(reply), m_env.leakCheckLimit, encodeLeakFindings(busy));
    m_queue.post([this, once] {
        // Answered already: the caller has the busy reply and is gone.
        if (!once->answered()) {
            once->answer(encodeLeakFindings(runLeakCheck()));
        }
    });
}

std::vector<LeakFinding> VPNEngine::runLeakCheck() {
    assertOnQueue(__func__);
    std::vector<LeakFinding> findings;
    const bool anyUp = std::any_of(m_tunnels.begin(), m_tunnels.end(),
                                   [](const auto& tunnel) { return tunnel->vip || tunnel->tun; });
    if (!anyUp) {
        return findings;
    }
    const auto deadline = m_env.clock.now() + kRoutesBudget;
    checkRoutes(findings, deadline);
    checkDns(findings);
    checkIpv6(findings);
    checkKillSwitch(findings);
    checkCharon(findings);
    return findings;
}

Expected<std::string, std::string> VPNEngine::leavingDevice(const std::string& address) {
    auto found = m_env.routes.lookup(address, kLookupLimit);
    if (!found) {
        return Unexpected{found.error()};
    }
    return found->device;
}

void VPNEngine::checkRoutes(std::vector<LeakFinding>& findings, Clock::TimePoint deadline) {
    assertOnQueue(__func__);
    const auto& installed = m_network.routeTable().installedRoutes();
    for (const auto& tunnel : m_tunnels) {
        if (!tunnel->vip && !tunnel->tun) {
            continue;
        }
        const std::string& name = tunnel->profile.name;
        // The tunnel's device: the one named, else the one holding its VIP.
        std::string device = tunnel->tun.value_or("");
        if (device.empty()) {
            if (auto holder = leavingDevice(*tunnel->vip)) {
                device = *holder;
            }
        }
        std::vector<std::string> addresses;
        std::vector<std::string> bad;
        const bool full = std::any_of(installed.begin(), installed.end(), [&](const auto& entry) {
            return entry.second == tunnel->profile.id &&
                   (entry.first == "0.0.0.0/1" || entry.first == "128.0.0.0/1");
        });
        for (const auto& cidr : effectiveCIDRs(tunnel->profile)) {
            const auto owner = installed.find(cidr);
            if (owner != installed.end() && owner->second != tunnel->profile.id) {
                continue; // a better tunnel carries it
            }
            const auto address = cidr.substr(0, cidr.find('/'));
            if (isIPv4Literal(address) && cidr != "0.0.0.0/1" && cidr != "128.0.0.0/1") {
                addresses.push_back(cidr);
            }
        }
        if (full) {
            addresses.insert(addresses.end(), kFullTunnelProbes.begin(), kFullTunnelProbes.end());
        }
        int checked = 0;
        for (const auto& entry : addresses) {
            if (m_env.clock.now() > deadline) {
                add(findings, "routes", kLeakWarning,
                    "'" + name + "': the route lookups took too long; not all were checked",
                    "Run the check again.");
                break;
            }
            const auto leaves = leavingDevice(entry.substr(0, entry.find('/')));
            ++checked;
            if (!leaves || device.empty() || *leaves != device) {
                bad.push_back(entry + " leaves by " +
                              (leaves ? *leaves : "nothing (" + leaves.error() + ")"));
            }
        }
        if (!bad.empty()) {
            add(findings, "routes", kLeakFail,
                "'" + name + "': " + joined(bad) + " instead of " +
                    (device.empty() ? "the tunnel" : device),
                kReconnectHint);
        } else {
            add(findings, "routes", kLeakOK,
                "'" + name + "': " + std::to_string(checked) + " destination(s) leave by " +
                    device);
        }
        const auto gateway = tunnel->remoteIP.value_or(tunnel->profile.remoteAddr);
        if (!gateway.empty() && isIPv4Literal(gateway) && !device.empty()) {
            const auto leaves = leavingDevice(gateway);
            if (leaves && *leaves == device) {
                add(findings, "routes", kLeakFail,
                    "'" + name + "': the gateway " + gateway + " is routed into the tunnel itself",
                    kReconnectHint);
            } else if (leaves) {
                add(findings, "routes", kLeakOK,
                    "'" + name + "': the gateway " + gateway + " leaves outside by " + *leaves);
            }
        }
    }
}

void VPNEngine::checkDns(std::vector<LeakFinding>& findings) {
    assertOnQueue(__func__);
    const auto& dns = m_network.dnsOverride();
    const auto system = dns.resolverInUse();
    std::vector<std::string> expected;
    if (m_network.dnsProxyRunning()) {
        expected = {"127.0.0.1"};
    } else if (dns.dnsOverrideActive()) {
        expected = dns.desiredDNSServers();
    }
    if (auto finding = resolverFinding(system, expected)) {
        findings.push_back(std::move(*finding));
        return;
    }
    // The query goes where the resolver would send it: its first server
    // (with a resolver daemon, the link's server, not the daemon's stub).
    const auto& server = system.servers.front();
    std::string observed;
    if (m_env.probeDns && server != "127.0.0.1") {
        const auto probe = m_env.probeDns(server, kDnsLimit);
        observed = probe.error.empty()
                       ? " (query from " + probe.sourceAddress + ", " +
                             (probe.answered ? "answered" : "no answer within 0.8 s") + ")"
                       : " (query not sent: " + probe.error + ")";
    }
    const auto leaves = leavingDevice(server);
    const auto device = leaves ? *leaves : std::string("nothing");
    const bool viaTunnel = std::any_of(m_tunnels.begin(), m_tunnels.end(),
                                       [&](const auto& t) { return t->tun && *t->tun == device; });
    const bool local = device == "lo";
    if (expected.empty() && !viaTunnel && !local && m_network.routesCarryAllIPv4()) {
        add(findings, "dns", kLeakFail,
            "queries to " + server + " leave by " + device + ", outside the full tunnel" + observed,
            "Set DNS servers in the profile so that name lookups go through the tunnel.");
    } else if (!expected.empty() && !viaTunnel && !local) {
        add(findings, "dns", kLeakFail,
            "queries to the tunnel's server " + server + " leave by " + device +
                ", outside the tunnel" + observed,
            "Add the DNS server's network to the profile's routes.");
    } else {
        add(findings, "dns", kLeakOK,
            "queries to " + server + " leave by " + device +
                (local ? " (the local DNS proxy)" : "") + observed);
    }
}

void VPNEngine::checkIpv6(std::vector<LeakFinding>& findings) {
    assertOnQueue(__func__);
    const bool prevention = m_network.ipv6Guard().ipv6LeakPreventionActive();
    const bool fullWithoutIpv6 = std::any_of(m_tunnels.begin(), m_tunnels.end(), [](const auto& t) {
        return (t->vip || t->tun) && isFullIPv4TunnelWithoutIPv6(*t);
    });
    const auto exposure = m_env.ipv6.exposure();
    if (!exposure) {
        add(findings, "ipv6", kLeakWarning, "IPv6 addresses and routes cannot be read here",
            "Check IPv6 on this computer by hand.");
        return;
    }
    std::vector<std::string> open = exposure->globalAddresses;
    for (const auto& device : exposure->defaultRouteDevices) {
        open.push_back("default route on " + device);
    }
    if (prevention && !open.empty()) {
        add(findings, "ipv6", kLeakFail,
            "leak prevention is on, but IPv6 is reachable: " + joined(open),
            "Reconnect the tunnel so that IPv6 is switched off again, or switch IPv6 off on "
            "those interfaces.");
    } else if (prevention) {
        add(findings, "ipv6", kLeakOK, "leak prevention is on: no global IPv6 address or route");
    } else if (fullWithoutIpv6 && !open.empty()) {
        add(findings, "ipv6", kLeakWarning, "IPv6 traffic would bypass the tunnel: " + joined(open),
            "Turn on \"Prevent IPv6 leak\" in the profile.");
    } else {
        add(findings, "ipv6", kLeakOK,
            fullWithoutIpv6 ? "no global IPv6 address or route"
                            : "the tunnels do not cover IPv4 "
                              "fully; IPv6 is not checked");
    }
}

void VPNEngine::checkKillSwitch(std::vector<LeakFinding>& findings) {
    assertOnQueue(__func__);
    std::vector<Tunnel*> tunnels = allTunnels();
    const auto& killSwitch = m_network.killSwitch();
    const bool wanted = killSwitch.hasLockdown() ||
                        std::any_of(tunnels.begin(), tunnels.end(),
                                    [](const Tunnel* t) { return t->profile.killSwitchEnabled; });
    if (!wanted) {
        add(findings, "killswitch", kLeakOK, "not enabled");
        return;
    }
    const auto table = m_env.firewall.inForce();
    const std::string name = m_env.firewall.tableName();
    if (!table) {
        add(findings, "killswitch", kLeakWarning,
            "the firewall table cannot be read: " + table.error().message,
            "Check the firewall with nftables by hand.");
        return;
    }
    if (!table->present || !table->outputDrops) {
        add(findings, "killswitch", kLeakFail,
            "the firewall table " + name + (table->present ? " does not drop" : " is not loaded"),
            "Reconnect the tunnel, which loads the kill switch again.");
        return;
    }
    const auto policy = killSwitch.policyNowFor(tunnels);
    std::vector<std::string> missing;
    for (const auto& device : policy.tunnelInterfaces) {
        if (std::find(table->passedInterfaces.begin(), table->passedInterfaces.end(), device) ==
            table->passedInterfaces.end()) {
            missing.push_back(device);
        }
    }
    for (const auto& gateway : policy.gateways) {
        if (isIPv4Literal(gateway) &&
            std::find(table->passedGateways.begin(), table->passedGateways.end(), gateway) ==
                table->passedGateways.end()) {
            missing.push_back(gateway);
        }
    }
    const auto& handle = killSwitch.tableHandle();
    if (!missing.empty() || (handle && table->handle && *handle != *table->handle)) {
        add(findings, "killswitch", kLeakFail,
            "the firewall table " + name + " differs from the tunnels' policy" +
                (missing.empty() ? " (replaced by someone else)"
                                 : " (missing " + joined(missing) + ")"),
            "Reconnect the tunnel, which loads the kill switch again.");
        return;
    }
    add(findings, "killswitch", kLeakOK,
        "the firewall table " + name + " is loaded and matches the policy");
}

void VPNEngine::checkCharon(std::vector<LeakFinding>& findings) {
    assertOnQueue(__func__);
    if (!m_charon.isTracked() || m_charon.deathStatus()) {
        add(findings, "charon", kLeakFail, "charon is not running",
            "Reconnect the tunnels; the helper starts charon again.");
        return;
    }
    const auto states = m_env.vici.listSAs(viciUri(), std::nullopt, kSaListLimit);
    if (!states) {
        add(findings, "charon", kLeakWarning, "charon does not list its SAs: " + states.error(),
            "Run the check again; if this persists, reconnect the tunnels.");
        return;
    }
    const auto now = m_env.clock.now();
    for (const auto& tunnel : m_tunnels) {
        const auto name = tunnel->strongswanName();
        const auto state = std::find_if(states->begin(), states->end(),
                                        [&](const IkeSaState& s) { return s.name == name; });
        std::string keepalive = "no keepalive configured";
        if (!tunnel->profile.keepaliveIP.empty()) {
            keepalive = tunnel->lastKeepaliveAnswer
                            ? "last keepalive answer " +
                                  std::to_string(std::chrono::duration_cast<std::chrono::seconds>(
                                                     now - *tunnel->lastKeepaliveAnswer)
                                                     .count()) +
                                  " s ago"
                            : "no keepalive answer yet";
        }
        if (state == states->end() || !state->established || !state->childInstalled) {
            add(findings, "charon", kLeakFail,
                "'" + tunnel->profile.name + "': " +
                    (state == states->end() ? "no IKE SA"
                                            : (state->established ? "no CHILD SA installed"
                                                                  : "IKE SA not established")) +
                    "; " + keepalive,
                kReconnectHint);
        } else {
            add(findings, "charon", kLeakOK,
                "'" + tunnel->profile.name + "': IKE and CHILD SA established; " + keepalive);
        }
    }
}

} // namespace torvane

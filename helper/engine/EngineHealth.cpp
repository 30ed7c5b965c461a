// Tunnel health: the keepalive ping, the delayed re-check after charon
// reports an SA down, the engine-wide retry watchdog (which also brings back
// a DNS proxy that died), and reconnecting a tunnel in place (same record,
// priority and list position) — the one way every detector heals a dead
// tunnel.
#include "EngineError.h"
#include "HealthPolicy.h"
#include "StagingLayout.h"
#include "VPNEngine.h"

#include <algorithm>
#include <arpa/inet.h>
#include <array>
#include <netinet/in.h>

#include <asio/post.hpp>

namespace torvane {
namespace {

using namespace health;

bool isIPAddress(const std::string& text) {
    std::array<unsigned char, sizeof(in6_addr)> bytes{};
    return ::inet_pton(AF_INET, text.c_str(), bytes.data()) == 1 ||
           ::inet_pton(AF_INET6, text.c_str(), bytes.data()) == 1;
}

} // namespace

Tunnel* VPNEngine::tunnelWithSerial(std::uint64_t serial) {
    assertOnQueue(__func__);
    for (const auto& tunnel : m_tunnels) {
        if (tunnel->serial == serial) {
            return tunnel.get();
        }
    }
    return nullptr;
}

void VPNEngine::runAfter(Clock::Duration delay, std::function<void()> job) {
    assertOnQueue(__func__);
    const std::uint64_t id = ++m_lastDelayedJob;
    m_delayedJobs[id] =
        std::make_unique<EngineTimer>(m_env.clock, m_queue, delay, std::nullopt, Clock::Duration(0),
                                      [this, id, job = std::move(job)] {
                                          // The job is a copy held by this firing, so the timer may
                                          // go now.
                                          auto keep = job;
                                          m_delayedJobs.erase(id);
                                          keep();
                                      });
}

void VPNEngine::runInBackground(std::function<void()> job) {
    assertOnQueue(__func__);
    if (m_env.runInBackground) {
        m_env.runInBackground(std::move(job));
        return;
    }
    if (!m_background) {
        m_background = std::make_unique<asio::thread_pool>(2);
    }
    asio::post(*m_background, std::move(job));
}

int VPNEngine::runPing(const std::string& address) {
    // The address comes from a profile and goes to a root program's command
    // line: only a literal IP address may reach it, and "--" ends ping's
    // options before it in any case.
    if (!isIPAddress(address)) {
        log("keepalive address '" + address + "' is not an IP address — ping not run");
        return -1;
    }
    return m_env.runner
        .runCommand(
            m_env.pingPath,
            {"-s", "1", "-W", std::to_string(kPingReplyWaitSeconds), "-c", "1", "--", address},
            std::nullopt, kPingTimeLimit)
        .status;
}

// --- keepalive ------------------------------------------------------------

void VPNEngine::startKeepalive(Tunnel& tunnel) {
    assertOnQueue(__func__);
    if (tunnel.profile.keepaliveIP.empty()) {
        return;
    }
    tunnel.keepaliveFailures = 0;
    const Seconds interval(static_cast<double>(tunnel.profile.keepaliveInterval));
    const std::uint64_t serial = tunnel.serial;
    tunnel.keepaliveTimer = std::make_unique<EngineTimer>(
        m_env.clock, m_queue, std::max(interval, Seconds(0)),
        std::max(interval, kMinimumKeepalivePeriod), Clock::Duration(0), [this, serial] {
            if (Tunnel* current = tunnelWithSerial(serial)) {
                keepaliveTick(*current);
            }
        });
}

void VPNEngine::stopKeepalive(Tunnel& tunnel) {
    assertOnQueue(__func__);
    tunnel.keepaliveTimer.reset();
}

void VPNEngine::keepaliveTick(Tunnel& tunnel) {
    assertOnQueue(__func__);
    if (tunnel.keepalivePingInFlight) {
        return;
    }
    tunnel.keepalivePingInFlight = true;
    const std::string address = tunnel.profile.keepaliveIP;
    const std::uint64_t serial = tunnel.serial;
    // A slow ping must not hold the queue; its result comes back as a job.
    runInBackground([this, address, serial] {
        const int status = runPing(address);
        m_queue.post([this, serial, status] { handleKeepaliveResult(serial, status); });
    });
}

void VPNEngine::handleKeepaliveResult(std::uint64_t serial, int status) {
    assertOnQueue(__func__);
    Tunnel* tunnel = tunnelWithSerial(serial);
    if (tunnel == nullptr) {
        return;
    }
    tunnel->keepalivePingInFlight = false;
    if (status == 0) {
        tunnel->keepaliveFailures = 0;
        return;
    }
    ++tunnel->keepaliveFailures;
    log("keepalive ping failed for '" + tunnel->profile.name + "' (" +
        std::to_string(tunnel->keepaliveFailures) + "/" +
        std::to_string(kKeepaliveFailureThreshold) + ")");
    if (tunnel->keepaliveFailures >= kKeepaliveFailureThreshold) {
        reconnectInPlace(*tunnel,
                         "keepalive failed " + std::to_string(kKeepaliveFailureThreshold) + "×");
    }
}

// --- SA-down re-check -----------------------------------------------------

bool VPNEngine::cooldownPassed(const Tunnel& tunnel) const {
    assertOnQueue(__func__);
    return !tunnel.lastAutoReconnectAttempt ||
           m_env.clock.now() - *tunnel.lastAutoReconnectAttempt > kAutoReconnectCooldown;
}

void VPNEngine::scheduleAutoReconnectCheck(Tunnel& tunnel) {
    assertOnQueue(__func__);
    if (tunnel.reconnectCheckScheduled) {
        return;
    }
    tunnel.reconnectCheckScheduled = true;
    const std::uint64_t serial = tunnel.serial;
    runAfter(kSADownRecheckDelay, [this, serial] {
        Tunnel* current = tunnelWithSerial(serial);
        if (current == nullptr) {
            return;
        }
        current->reconnectCheckScheduled = false;
        if (m_charon && !childSAInstalled(*current) && cooldownPassed(*current)) {
            reconnectInPlace(*current, "SA down (VICI event)");
        }
        // Otherwise a tunnel left reconnecting is the watchdog's.
    });
}

// --- retry watchdog -------------------------------------------------------

void VPNEngine::startReconnectWatchdog() {
    assertOnQueue(__func__);
    if (m_reconnectWatchdog) {
        return;
    }
    m_reconnectWatchdog = std::make_unique<EngineTimer>(
        m_env.clock, m_queue, kReconnectRetryInterval, kReconnectRetryInterval, kWatchdogLeeway,
        [this] { retryWatchdogFired(); });
}

void VPNEngine::stopReconnectWatchdog() {
    assertOnQueue(__func__);
    m_reconnectWatchdog.reset();
}

void VPNEngine::retryWatchdogFired() {
    assertOnQueue(__func__);
    // A charon that was killed usually says nothing: no SA-down event is
    // promised, and its tunnels' routes went with its TUN device. Left
    // alone, the status would go on claiming them while their traffic
    // takes the default route.
    if (m_charon && !m_charon->isRunning()) {
        log("charon exited unexpectedly (status " +
            std::to_string(m_charon->exitStatus().value_or(-1)) + ") — reconnecting its tunnels");
        for (const auto& tunnel : m_tunnels) {
            if (tunnel->state == VPNConnState::connected) {
                tunnel->state = VPNConnState::reconnecting;
                tunnel->message = "SA down — reconnecting…";
            }
        }
        pushStatus();
    }
    // A reconnect runs child programs but never adds or removes tunnels, so
    // the list can be walked by position.
    for (std::size_t i = 0; i < m_tunnels.size(); ++i) {
        Tunnel& tunnel = *m_tunnels[i];
        if (tunnel.state != VPNConnState::reconnecting && tunnel.state != VPNConnState::error) {
            continue;
        }
        if (tunnel.lastAutoReconnectAttempt &&
            m_env.clock.now() - *tunnel.lastAutoReconnectAttempt < kWatchdogRetryAge) {
            continue;
        }
        reconnectInPlace(tunnel, "retry watchdog");
    }
    if (m_dns.recoverExitedProxy(byPriority())) {
        pushStatus();
    }
}

// --- reconnect in place ---------------------------------------------------

void VPNEngine::reconnectInPlace(Tunnel& tunnel, const std::string& reason) {
    assertOnQueue(__func__);
    const std::string swanctlBin = swanctlPath();
    const std::string charonBin = charonPath();
    if (!isExecutableFile(swanctlBin) || !isExecutableFile(charonBin)) {
        return;
    }
    tunnel.keepaliveFailures = 0;
    tunnel.lastAutoReconnectAttempt = m_env.clock.now();
    log("reconnecting '" + tunnel.profile.name + "' (" + reason + ")");
    tunnel.state = VPNConnState::reconnecting;
    tunnel.message = "Reconnecting…";
    pushStatus();

    const auto terminate = [&] {
        runSwanctl(swanctlBin, {"--terminate", "--ike", tunnel.strongswanName()}, 4);
    };
    terminate();
    tunnel.vip.reset();
    tunnel.tun.reset();
    updateNetworkNotifications();
    reconcileAll();
    pushStatus();

    try {
        if (ensureCharonRunning(charonBin)) {
            // A relaunched charon knows no connection; the reconnect keeps
            // the log quiet where a start shows swanctl's output.
            loadCredentialsAndConnections(swanctlBin, false);
        }
        initiate(tunnel);
    } catch (const std::exception& error) {
        const std::string description = error.what();
        log("reconnect failed for '" + tunnel.profile.name + "': " + description);
        terminate();
        tunnel.state = VPNConnState::error;
        tunnel.message = "Reconnect failed: " + description;
        pushStatus();
        return;
    }

    updateNetworkNotifications();
    reconcileAll();
    pushStatus();
    tunnel.state = VPNConnState::connected;
    tunnel.message = "Connected";
    pushStatus();
}

bool VPNEngine::tunnelHealthy(Tunnel& tunnel) {
    assertOnQueue(__func__);
    const std::string swanctlBin = swanctlPath();
    if (!isExecutableFile(swanctlBin)) {
        return false;
    }
    if (!childSAInstalled(tunnel)) {
        return false;
    }
    if (tunnel.profile.keepaliveIP.empty()) {
        return true;
    }
    return runPing(tunnel.profile.keepaliveIP) == 0;
}

} // namespace torvane

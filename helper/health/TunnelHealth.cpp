// Tunnel health: the keepalive ping, the delayed re-check after charon
// reports an SA down, the engine-wide retry watchdog (which also brings back
// a DNS proxy that died), and recovery after the machine changed networks or
// slept: tunnels die silently then, so every tunnel is verified and the dead
// ones are reconnected in place. Sleep itself is never delayed.
#include "helper/health/TunnelHealth.h"

#include "helper/health/HealthPolicy.h"

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

TunnelHealth::TunnelHealth(HealthHost& host, EngineQueue& queue, Clock& clock,
                           CommandRunner& runner, std::string pingPath,
                           std::function<void(std::function<void()>)> runInBackground)
    : m_host(host), m_queue(queue), m_clock(clock), m_runner(runner),
      m_pingPath(std::move(pingPath)), m_runInBackground(std::move(runInBackground)) {}

TunnelHealth::~TunnelHealth() = default;

Tunnel* TunnelHealth::tunnelWithSerial(std::uint64_t serial) {
    assertOnQueue(__func__);
    for (Tunnel* tunnel : m_host.allTunnels()) {
        if (tunnel->serial == serial) {
            return tunnel;
        }
    }
    return nullptr;
}

void TunnelHealth::runAfter(Clock::Duration delay, std::function<void()> job) {
    assertOnQueue(__func__);
    const std::uint64_t id = ++m_lastDelayedJob;
    m_delayedJobs[id] =
        std::make_unique<EngineTimer>(m_clock, m_queue, delay, std::nullopt, Clock::Duration(0),
                                      [this, id, job = std::move(job)] {
                                          // The job is a copy held by this firing, so the timer may
                                          // go now.
                                          auto keep = job;
                                          m_delayedJobs.erase(id);
                                          keep();
                                      });
}

void TunnelHealth::runInBackground(std::function<void()> job) {
    assertOnQueue(__func__);
    if (m_runInBackground) {
        m_runInBackground(std::move(job));
        return;
    }
    if (!m_background) {
        m_background = std::make_unique<asio::thread_pool>(2);
    }
    asio::post(*m_background, std::move(job));
}

int TunnelHealth::runPing(const std::string& address) {
    // The address comes from a profile and goes to a root program's command
    // line: only a literal IP address may reach it, and "--" ends ping's
    // options before it in any case.
    if (!isIPAddress(address)) {
        m_host.log("keepalive address '" + address + "' is not an IP address — ping not run");
        return -1;
    }
    return m_runner
        .runCommand(
            m_pingPath,
            {"-s", "1", "-W", std::to_string(kPingReplyWaitSeconds), "-c", "1", "--", address},
            std::nullopt, kPingTimeLimit)
        .status;
}

// --- keepalive ------------------------------------------------------------

void TunnelHealth::startKeepalive(Tunnel& tunnel) {
    assertOnQueue(__func__);
    if (tunnel.profile.keepaliveIP.empty()) {
        return;
    }
    tunnel.keepaliveFailures = 0;
    const Seconds interval(static_cast<double>(tunnel.profile.keepaliveInterval));
    const std::uint64_t serial = tunnel.serial;
    tunnel.keepaliveTimer = std::make_unique<EngineTimer>(
        m_clock, m_queue, std::max(interval, Seconds(0)),
        std::max(interval, kMinimumKeepalivePeriod), Clock::Duration(0), [this, serial] {
            if (Tunnel* current = tunnelWithSerial(serial)) {
                keepaliveTick(*current);
            }
        });
}

void TunnelHealth::stopKeepalive(Tunnel& tunnel) {
    assertOnQueue(__func__);
    tunnel.keepaliveTimer.reset();
}

void TunnelHealth::keepaliveTick(Tunnel& tunnel) {
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

void TunnelHealth::handleKeepaliveResult(std::uint64_t serial, int status) {
    assertOnQueue(__func__);
    Tunnel* tunnel = tunnelWithSerial(serial);
    if (tunnel == nullptr) {
        return;
    }
    tunnel->keepalivePingInFlight = false;
    if (status == 0) {
        tunnel->keepaliveFailures = 0;
        tunnel->lastKeepaliveAnswer = m_clock.now();
        return;
    }
    ++tunnel->keepaliveFailures;
    m_host.log("keepalive ping failed for '" + tunnel->profile.name + "' (" +
               std::to_string(tunnel->keepaliveFailures) + "/" +
               std::to_string(kKeepaliveFailureThreshold) + ")");
    if (tunnel->keepaliveFailures >= kKeepaliveFailureThreshold) {
        m_host.reconnectInPlace(*tunnel, "keepalive failed " +
                                             std::to_string(kKeepaliveFailureThreshold) + "×");
    }
}

// --- SA-down re-check -----------------------------------------------------

bool TunnelHealth::cooldownPassed(const Tunnel& tunnel) const {
    assertOnQueue(__func__);
    return !tunnel.lastAutoReconnectAttempt ||
           m_clock.now() - *tunnel.lastAutoReconnectAttempt > kAutoReconnectCooldown;
}

void TunnelHealth::scheduleAutoReconnectCheck(Tunnel& tunnel) {
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
        if (m_host.charonTracked() && !m_host.childSAUp(*current) && cooldownPassed(*current)) {
            m_host.reconnectInPlace(*current, "SA down (VICI event)");
        }
        // Otherwise a tunnel left reconnecting is the watchdog's.
    });
}

// --- retry watchdog -------------------------------------------------------

void TunnelHealth::startReconnectWatchdog() {
    assertOnQueue(__func__);
    if (m_reconnectWatchdog) {
        return;
    }
    m_reconnectWatchdog = std::make_unique<EngineTimer>(m_clock, m_queue, kReconnectRetryInterval,
                                                        kReconnectRetryInterval, kWatchdogLeeway,
                                                        [this] { retryWatchdogFired(); });
}

void TunnelHealth::stopReconnectWatchdog() {
    assertOnQueue(__func__);
    m_reconnectWatchdog.reset();
}

void TunnelHealth::retryWatchdogFired() {
    assertOnQueue(__func__);
    // A charon that was killed usually says nothing: no SA-down event is
    // promised, and its tunnels' routes went with its TUN device. Left
    // alone, the status would go on claiming them while their traffic
    // takes the default route.
    if (const auto status = m_host.charonDeathStatus()) {
        m_host.log("charon exited unexpectedly (status " + std::to_string(*status) +
                   ") — reconnecting its tunnels");
        for (Tunnel* tunnel : m_host.allTunnels()) {
            if (tunnel->state == VPNConnState::connected) {
                tunnel->state = VPNConnState::reconnecting;
                tunnel->message = "SA down — reconnecting…";
            }
        }
        m_host.pushStatus();
    }
    for (Tunnel* tunnel : m_host.allTunnels()) {
        if (tunnel->state != VPNConnState::reconnecting && tunnel->state != VPNConnState::error) {
            continue;
        }
        if (tunnel->lastAutoReconnectAttempt &&
            m_clock.now() - *tunnel->lastAutoReconnectAttempt < kWatchdogRetryAge) {
            continue;
        }
        m_host.reconnectInPlace(*tunnel, "retry watchdog");
    }
    m_host.recoverExitedDnsProxy();
}

// --- probes after a path change or wake -----------------------------------

bool TunnelHealth::tunnelHealthy(Tunnel& tunnel) {
    assertOnQueue(__func__);
    if (!m_host.childSAUp(tunnel)) {
        return false;
    }
    if (tunnel.profile.keepaliveIP.empty()) {
        return true;
    }
    return runPing(tunnel.profile.keepaliveIP) == 0;
}

void TunnelHealth::schedulePathChangeRecovery() {
    assertOnQueue(__func__);
    if (m_host.allTunnels().empty() || m_pathChangeCheckScheduled) {
        return;
    }
    m_pathChangeCheckScheduled = true;
    runAfter(kPathChangeSettle, [this] {
        m_pathChangeCheckScheduled = false;
        const std::vector<Tunnel*> tunnels = m_host.allTunnels();
        if (tunnels.empty() || !m_host.charonTracked()) {
            return;
        }
        m_host.log("network path changed — verifying " + std::to_string(tunnels.size()) +
                   " tunnel(s)");
        m_host.refreshGatewayExclusions();
        for (Tunnel* tunnel : tunnels) {
            if (tunnel->state == VPNConnState::connected) {
                if (tunnelHealthy(*tunnel)) {
                    m_host.log("'" + tunnel->profile.name + "' healthy after path change");
                    continue;
                }
            } else if (tunnel->state != VPNConnState::reconnecting &&
                       tunnel->state != VPNConnState::error) {
                continue;
            }
            if (cooldownPassed(*tunnel)) {
                tunnel->keepaliveFailures = 0;
                m_host.reconnectInPlace(*tunnel, "network path changed");
            }
        }
    });
}

void TunnelHealth::registerPowerNotifications(const PowerEventsOpener& open) {
    if (m_powerEvents) {
        return;
    }
    if (open) {
        auto registration = open([this](PowerMessage message) { handlePowerMessage(message); });
        if (registration) {
            m_powerEvents = std::move(*registration);
            m_host.log("registered for sleep/wake events");
            return;
        }
    }
    m_host.log("warning: could not register for system power events");
}

void TunnelHealth::handlePowerMessage(PowerMessage message) {
    switch (message) {
    case PowerMessage::canSystemSleep:
    case PowerMessage::systemWillSleep:
        // Acknowledged by returning: no inhibitor is held, so sleep goes
        // ahead at once whatever the tunnels are doing.
        return;
    case PowerMessage::systemHasPoweredOn:
        m_queue.post([this] { recoverAfterWake(); });
        return;
    }
}

void TunnelHealth::recoverAfterWake() {
    assertOnQueue(__func__);
    const std::vector<Tunnel*> tunnels = m_host.allTunnels();
    if (tunnels.empty()) {
        return;
    }
    m_host.log("system woke — verifying tunnels");
    // The network needs a moment after wake before a probe means anything.
    m_clock.sleep(kWakeDelay);
    for (Tunnel* tunnel : tunnels) {
        tunnel->keepaliveFailures = 0;
        if (tunnelHealthy(*tunnel)) {
            m_host.log("'" + tunnel->profile.name + "' healthy after wake");
        } else {
            m_host.reconnectInPlace(*tunnel, "woke from sleep");
        }
    }
}

} // namespace torvane

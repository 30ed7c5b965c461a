#pragma once

#include "helper/engine/EngineQueue.h"
#include "helper/engine/EngineTimer.h"
#include "helper/engine/PowerEvents.h"
#include "helper/engine/Tunnel.h"
#include "helper/health/HealthHost.h"
#include "shared/Clock.h"
#include "shared/process/CommandRunner.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include <asio/thread_pool.hpp>

namespace torvane {

/// Keeps tunnels alive: the keepalive ping, the delayed re-check after charon
/// reports an SA down, the engine-wide retry watchdog, and the verification
/// of every tunnel after the network path changed or the machine woke. A
/// tunnel found dead is handed to the host's reconnectInPlace, the one way
/// every detector heals it.
///
/// Lives inside the engine; everything but the power registration runs on
/// the engine queue.
class TunnelHealth {
public:
    /// `runInBackground` runs a job off the queue (a ping); empty: a small
    /// pool of this object's own.
    TunnelHealth(HealthHost& host, EngineQueue& queue, Clock& clock, CommandRunner& runner,
                 std::string pingPath, std::function<void(std::function<void()>)> runInBackground);
    ~TunnelHealth();
    TunnelHealth(const TunnelHealth&) = delete;
    TunnelHealth& operator=(const TunnelHealth&) = delete;

    /// Pings the tunnel's keepalive address periodically, when it has one.
    void startKeepalive(Tunnel& tunnel);
    void stopKeepalive(Tunnel& tunnel);
    /// charon reported an SA of `tunnel` down: looks again after a while and
    /// reconnects it when the SA has not come back. Once per tunnel at a time.
    void scheduleAutoReconnectCheck(Tunnel& tunnel);
    /// The engine-wide retry watchdog; starting a running one does nothing.
    void startReconnectWatchdog();
    void stopReconnectWatchdog();
    /// The network path changed: once the burst of changes settles, verifies
    /// every tunnel and reconnects the dead ones.
    void schedulePathChangeRecovery();
    /// Registers for sleep/wake messages through `open`, once; logs whether
    /// it could. Called off the queue, before commands are served.
    void registerPowerNotifications(const PowerEventsOpener& open);

private:
    void assertOnQueue(const char* function) const { m_queue.assertOwnsState(function); }
    Tunnel* tunnelWithSerial(std::uint64_t serial);
    void keepaliveTick(Tunnel& tunnel);
    void handleKeepaliveResult(std::uint64_t serial, int status);
    /// Marks the tunnels of a charon that died as reconnecting, retries
    /// tunnels left reconnecting or in error, then restarts a DNS proxy
    /// that exited on its own.
    void retryWatchdogFired();
    bool cooldownPassed(const Tunnel& tunnel) const;
    bool tunnelHealthy(Tunnel& tunnel);
    int runPing(const std::string& address);
    void runInBackground(std::function<void()> job);
    /// Runs `job` on the queue once `delay` has passed.
    void runAfter(Clock::Duration delay, std::function<void()> job);
    void handlePowerMessage(PowerMessage message);
    void recoverAfterWake();

    HealthHost& m_host;
    EngineQueue& m_queue;
    Clock& m_clock;
    CommandRunner& m_runner;
    const std::string m_pingPath;
    const std::function<void(std::function<void()>)> m_runInBackground;

    // On the queue.
    std::unique_ptr<EngineTimer> m_reconnectWatchdog;
    /// One-shot delayed checks, by a serial of their own.
    std::map<std::uint64_t, std::unique_ptr<EngineTimer>> m_delayedJobs;
    std::uint64_t m_lastDelayedJob = 0;
    bool m_pathChangeCheckScheduled = false;

    // Off the queue.
    std::unique_ptr<PowerEvents> m_powerEvents;
    /// Keepalive pings when no runner was given. Destroyed first: a ping
    /// still running when the engine goes away finishes and posts to a
    /// closed queue.
    std::unique_ptr<asio::thread_pool> m_background;
};

} // namespace torvane

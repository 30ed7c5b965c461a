#pragma once

#include "BundleLocator.h"
#include "ChildProcess.h"
#include "Clock.h"
#include "CommandRunner.h"
#include "DnsOverride.h"
#include "DnsProxy.h"
#include "DynamicStore.h"
#include "EngineQueue.h"
#include "EngineTimer.h"
#include "Ipv6Guard.h"
#include "KillSwitch.h"
#include "NetworkContext.h"
#include "OwnProcesses.h"
#include "PowerEvents.h"
#include "RouteTable.h"
#include "Tunnel.h"
#include "TunnelEngine.h"
#include "VPNRuntimeStatus.h"
#include "ViciEvents.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <asio/thread_pool.hpp>

namespace torvane {

/// What the engine works with. Production passes the real runner, routing,
/// firewall and IPv6 backends, launcher, libvici and clock; tests pass fakes
/// and a temporary staging root.
struct EngineEnvironment {
    CommandRunner& runner;
    Routes& routes;
    Firewall& firewall;
    Ipv6Control& ipv6;
    ProcessLauncher& launcher;
    ViciConnector& vici;
    Clock& clock;
    /// Finds and ends processes of ours that the engine no longer holds.
    OwnProcesses& processes;
    BundleLocator locator;
    /// Every generated file and the VICI socket live below this folder.
    std::string stagingRoot = "/run/torvane/run";
    /// Writes one line to the system log; the engine prepends nothing.
    std::function<void(std::string_view)> systemLog;
    /// Prefix of the tunnel interface names charon creates.
    std::string tunnelInterfacePrefix = "ipsec";
    /// Opens the system configuration store whose DNS the engine overrides;
    /// its notifications go through the post function onto the engine queue.
    std::function<Expected<std::unique_ptr<DynamicStore>, std::string>(DynamicStore::ChangeHandler,
                                                                       DynamicStore::PostFunction)>
        makeDynamicStore;
    /// iputils' ping, for keepalives and health probes.
    std::string pingPath = "/usr/bin/ping";
    /// Runs a job off the engine queue (a keepalive ping). Empty: a small
    /// pool of the engine's own.
    std::function<void(std::function<void()>)> runInBackground;
    /// Registers for sleep/wake messages; empty means none are available.
    PowerEventsOpener openPowerEvents;
    /// Where every change to the machine is journaled so that the next
    /// daemon can undo what a killed one left; empty: no journal.
    std::string journalPath;
};

/// The daemon's single tunnel engine: owns every tunnel, the one charon all
/// tunnels share, its VICI event connection and the staging tree. All work
/// runs on one serial queue; only the status snapshot is read off it.
class VPNEngine final : public TunnelEngine {
public:
    explicit VPNEngine(EngineEnvironment environment);
    ~VPNEngine() override;

    // TunnelEngine
    void start(VPNProfile profile, VPNSecrets secrets, CommandReply reply) override;
    void stop(std::string profileID, CommandReply reply) override;
    void stopAll(CommandReply reply) override;
    void forceKillAll(CommandReply reply) override;
    void setPriorities(std::vector<std::string> profileIDs, std::function<void()> reply) override;
    std::string encodedStatus() const override;
    void teardownAll(bool restoreNetworking) override;
    void setOnStatus(std::function<void(const std::string&)> onStatus) override;
    void setOnLog(std::function<void(const std::string&)> onLog) override;

    /// The snapshot last published.
    VPNRuntimeStatus statusSnapshot() const;

    /// Registers for sleep/wake messages, once, before commands are served.
    /// Without them the daemon runs on, and keepalives remain the only
    /// detector of tunnels that died while the machine slept.
    void registerPowerNotifications();

private:
    // Lifecycle
    /// Marks a start as running, so that the daemon's stop may interrupt
    /// its programs; false when the daemon is stopping already.
    bool beginInterruptibleStart();
    /// True when the daemon began stopping during the start.
    bool endInterruptibleStart();
    /// Between the steps of a start: gives up once the daemon is stopping.
    void throwIfStopping();
    void doStart(const VPNProfile& profile, const VPNSecrets& secrets);
    void cleanupFailedStart(const VPNProfile& profile, const std::string& error);
    void stopTunnel(Tunnel* tunnel);
    void teardownAllOnQueue(bool restoreNetworking);
    void pushStatus();
    Tunnel* tunnelWithProfileID(std::string_view profileID);
    std::vector<Tunnel*> byPriority();
    /// Every tunnel, in start order.
    std::vector<Tunnel*> allTunnels();

    // Staging
    void stageProfile(const Tunnel& tunnel, const VPNSecrets& secrets);
    void unstageProfile(const Tunnel& tunnel);

    // charon and VICI
    bool ensureCharonRunning(const std::string& charonPath);
    void launchCharon(const std::string& charonPath);
    void waitForViciSocket();
    void connectVici();
    void stopCharon();
    void removeCharonLeftovers();
    /// Ends what is left in the daemon's own service group (only processes
    /// called `name` when given) and logs each by pid.
    void endOwnLeftovers(const std::optional<std::string>& name);
    void handleViciEvent(const std::string& name);
    void closeVici();
    void relayCharonOutput(std::string_view chunk);

    // Initiation and SA inspection
    void initiate(Tunnel& tunnel);
    /// charon's view of the tunnel's IKE SA; none when it holds none or
    /// cannot be asked.
    std::optional<IkeSaState> ikeSaState(const Tunnel& tunnel);
    void parseSAInfo(Tunnel& tunnel);
    void discoverTun(Tunnel& tunnel);
    bool childSAInstalled(const Tunnel& tunnel);

    // Network reconciliation and health: see EngineNetworkHooks.cpp.
    void reconcileRoutes();
    void reconcileDNS();
    void reconcileIPv6();
    void reconcileKillSwitch();
    void reconcileAll();
    void removeAllRoutes();
    void stopDnsmasq();
    void forgetDnsmasq();
    /// Releases the kill switch unless it holds for a killed predecessor's
    /// tunnels.
    void deactivateKillSwitch();
    /// Stop-all, force kill, daemon stop: a held kill switch may go.
    void liftKillSwitchHold();
    /// A stop of `profileID`: the kill switch no longer holds for it. True
    /// when it did.
    bool forgetKillSwitchHold(std::string_view profileID);
    void restoreIPv6();
    void restoreDNS();
    void addGatewayExclusionRoute(const std::string& host);
    void clearUnderlyingDefaultGateway();
    void updateNetworkNotifications();
    void clearNetworkNotifications();
    void startReconnectWatchdog();
    void stopReconnectWatchdog();
    void startKeepalive(Tunnel& tunnel);
    void scheduleAutoReconnectCheck(Tunnel& tunnel);
    void stopKeepalive(Tunnel& tunnel);

    // Health: see EngineHealth.cpp and EngineRecovery.cpp.
    void keepaliveTick(Tunnel& tunnel);
    void handleKeepaliveResult(std::uint64_t serial, int status);
    /// Marks the tunnels of a charon that died as reconnecting, retries
    /// tunnels left reconnecting or in error, then restarts a DNS proxy
    /// that exited on its own.
    void retryWatchdogFired();
    void reconnectInPlace(Tunnel& tunnel, const std::string& reason);
    bool tunnelHealthy(Tunnel& tunnel);
    int runPing(const std::string& address);
    void runInBackground(std::function<void()> job);
    /// Runs `job` on the queue once `delay` has passed.
    void runAfter(Clock::Duration delay, std::function<void()> job);
    void schedulePathChangeRecovery();
    void handlePowerMessage(PowerMessage message);
    void recoverAfterWake();

    // Journal: see EngineJournal.cpp.
    void restoreFromJournal();
    void undoStep(const std::string& key, const UndoStep& step);
    bool cooldownPassed(const Tunnel& tunnel) const;
    Tunnel* tunnelWithSerial(std::uint64_t serial);
    bool routesCarryAllIPv4() const;
    bool killSwitchLoaded() const;
    bool killSwitchHolding() const;

    // Helpers
    /// Every function that reads or changes the state below the queue
    /// starts with this; see EngineQueue::assertOwnsState.
    void assertOnQueue(const char* function) const { m_queue.assertOwnsState(function); }
    Expected<std::unique_ptr<DynamicStore>, std::string>
    openDynamicStore(DynamicStore::ChangeHandler onChange);
    /// System log with the daemon prefix, and the same text to the app.
    void log(const std::string& text);
    /// To the app only: charon's and dnsmasq's own output.
    void logToApp(const std::string& line);
    /// Loads every staged credential and connection into charon; throws
    /// when swanctl fails. `logOutput` sends swanctl's output to the log.
    void loadCredentialsAndConnections(const std::string& swanctlBin, bool logOutput);
    CommandResult runSwanctl(const std::string& swanctlBin, std::vector<std::string> args,
                             double timeoutSeconds);
    std::string viciUri() const;
    std::string swanctlPath() const;
    std::string charonPath() const;

    EngineEnvironment m_env;
    /// Declared early so that it outlives every member its jobs, timers and
    /// event sources touch; the destructor closes it first, after which no
    /// job runs.
    EngineQueue m_queue;

    mutable std::mutex m_callbackLock;
    std::function<void(const std::string&)> m_onStatus;
    std::function<void(const std::string&)> m_onLog;

    mutable std::mutex m_stateLock;
    VPNRuntimeStatus m_statusSnapshot;

    /// Guards the two flags below, which the daemon's stop sets off the queue.
    std::mutex m_interruptLock;
    bool m_startRunning = false;
    bool m_stopping = false;

    // Everything below is touched only on the queue.
    std::unique_ptr<ChangeJournal> m_journal;
    NetworkContext m_network;
    RouteTable m_routes{m_network};
    DnsProxy m_dnsProxy{m_network, m_env.launcher, m_env.clock};
    DnsOverride m_dns;
    Ipv6Guard m_ipv6{m_network};
    KillSwitch m_killSwitch{m_network};
    std::vector<std::unique_ptr<Tunnel>> m_tunnels;
    std::optional<VPNTunnelStatus> m_lastError;
    std::unique_ptr<ChildProcess> m_charon;
    std::unique_ptr<ViciEvents> m_vici;
    std::uint64_t m_lastTunnelSerial = 0;
    std::unique_ptr<EngineTimer> m_reconnectWatchdog;
    /// One-shot delayed checks, by a serial of their own.
    std::map<std::uint64_t, std::unique_ptr<EngineTimer>> m_delayedJobs;
    std::uint64_t m_lastDelayedJob = 0;
    bool m_pathChangeCheckScheduled = false;
    /// What a killed predecessor left has been undone (or there was no
    /// journal to read).
    bool m_journalRestored = false;

    // Off the queue.
    std::unique_ptr<PowerEvents> m_powerEvents;
    /// Keepalive pings when the environment gives no runner of its own.
    /// Destroyed before the queue: a ping still running when the engine
    /// goes away finishes and posts to a closed queue.
    std::unique_ptr<asio::thread_pool> m_background;
};

} // namespace torvane

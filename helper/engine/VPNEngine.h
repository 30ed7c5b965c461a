#pragma once

#include "helper/engine/CharonSupervisor.h"
#include "helper/engine/EngineQueue.h"
#include "helper/engine/PowerEvents.h"
#include "helper/engine/ReplyDeadlines.h"
#include "helper/engine/Tunnel.h"
#include "helper/engine/TunnelEngine.h"
#include "helper/engine/ViciEvents.h"
#include "helper/health/HealthHost.h"
#include "helper/health/TunnelHealth.h"
#include "helper/network/ChangeJournal.h"
#include "helper/network/DnsProbe.h"
#include "helper/network/DynamicStore.h"
#include "helper/network/NetworkState.h"
#include "helper/process/BundleLocator.h"
#include "helper/process/ChildProcess.h"
#include "helper/process/OwnProcesses.h"
#include "shared/Clock.h"
#include "shared/LeakFinding.h"
#include "shared/VPNRuntimeStatus.h"
#include "shared/process/CommandRunner.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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
    /// Sends the leak check's DNS query; empty: the query is not sent.
    DnsProbe probeDns;
    /// Registers for sleep/wake messages; empty means none are available.
    PowerEventsOpener openPowerEvents;
    /// Watches the network interfaces (handler on the watch's own thread),
    /// so that one coming up while IPv6 is held off loses it too; empty: none
    /// are watched.
    LinkWatchOpener openLinkWatch;
    /// Where every change to the machine is journaled so that the next
    /// daemon can undo what a killed one left; empty: no journal.
    std::string journalPath;
    /// How long a leak check may wait and run before the caller is told the
    /// helper is busy; under the 3 s a client waits, with room to send.
    std::chrono::milliseconds leakCheckLimit{2500};
};

/// The daemon's single tunnel engine: owns every tunnel and the staging tree,
/// and drives three parts: the charon all tunnels share (CharonSupervisor),
/// the machine's network settings (NetworkState) and tunnel health
/// (TunnelHealth, which reaches back only through HealthHost). All work runs
/// on one serial queue; only the status snapshot is read off it.
class VPNEngine final : public TunnelEngine, private HealthHost {
public:
    explicit VPNEngine(EngineEnvironment environment);
    ~VPNEngine() override;

    // TunnelEngine
    void start(VPNProfile profile, VPNSecrets secrets, CommandReply reply) override;
    void stop(std::string profileID, CommandReply reply) override;
    void stopAll(CommandReply reply) override;
    void forceKillAll(CommandReply reply) override;
    void setPriorities(std::vector<std::string> profileIDs, std::function<void()> reply) override;
    void setManagedProfiles(std::vector<ManagedProfile> profiles) override;
    std::string encodedStatus() const override;
    void leakCheck(std::function<void(std::string json)> reply) override;
    void teardownAll(bool restoreNetworking) override;
    void setOnStatus(std::function<void(const std::string&)> onStatus) override;
    void setOnLog(std::function<void(const std::string&)> onLog) override;
    void setStatusFollowed(bool followed) override;

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
    /// A whole start with its failure handling; none when connected, else
    /// the text the caller is answered with.
    std::optional<std::string> startOnQueue(const VPNProfile& profile, const VPNSecrets& secrets);
    void cleanupFailedStart(const VPNProfile& profile, const std::string& error);
    void stopTunnel(Tunnel* tunnel);
    void teardownAllOnQueue(bool restoreNetworking);
    void pushStatus() override;
    Tunnel* tunnelWithProfileID(std::string_view profileID);
    std::vector<Tunnel*> byPriority();
    /// Every tunnel, in start order.
    std::vector<Tunnel*> allTunnels() override;
    /// Routes, DNS, IPv6 and kill switch for the tunnels as they are now.
    void reconcileAll();
    /// Watches the network for path changes while tunnels exist.
    void updateNetworkNotifications();
    /// The environment's interface watch, delivering on the engine queue.
    LinkWatchOpener linkWatchOnQueue();

    // Managed profiles: see EngineManaged.cpp.
    const ManagedProfile* managedWithID(const Uuid& id) const;
    bool isAlwaysOn(const Tunnel& tunnel) const;
    /// The kill switch is in force for a lockdown profile whose tunnel is not
    /// connected: what clients show as the kill switch holding.
    bool lockdownHolds() const;
    /// Managed profiles rank by file order, before every client profile.
    std::int64_t priorityFor(const VPNProfile& profile) const;
    /// Starts every always-on profile that is not up and may be started.
    void startAlwaysOnProfiles();
    /// Tries the always-on profiles again later, with a growing delay.
    void scheduleAlwaysOnRetry();

    // Staging
    void stageProfile(const Tunnel& tunnel, const VPNSecrets& secrets);
    void unstageProfile(const Tunnel& tunnel);

    // charon's events and reconnecting: see EngineReconnect.cpp.
    void handleViciEvent(const std::string& name);
    void reconnectInPlace(Tunnel& tunnel, const std::string& reason) override;
    bool childSAUp(const Tunnel& tunnel) override;
    bool charonTracked() override;
    std::optional<int> charonDeathStatus() override;
    void refreshGatewayExclusions() override;
    void recoverExitedDnsProxy() override;

    // Initiation and SA inspection
    void initiate(Tunnel& tunnel);
    /// charon's view of the tunnel's IKE SA; none when it holds none or
    /// cannot be asked.
    std::optional<IkeSaState> ikeSaState(const Tunnel& tunnel);
    void parseSAInfo(Tunnel& tunnel);
    void discoverTun(Tunnel& tunnel);
    bool childSAInstalled(const Tunnel& tunnel);

    // The leak self-check: see EngineLeakCheck.cpp.
    std::vector<LeakFinding> runLeakCheck();
    void checkRoutes(std::vector<LeakFinding>& findings, Clock::TimePoint deadline);
    void checkDns(std::vector<LeakFinding>& findings);
    void checkIpv6(std::vector<LeakFinding>& findings);
    void checkKillSwitch(std::vector<LeakFinding>& findings);
    void checkCharon(std::vector<LeakFinding>& findings);
    /// The device `address` leaves by, or why it cannot be told.
    Expected<std::string, std::string> leavingDevice(const std::string& address);
    // Traffic counters and SA details: see EngineTraffic.cpp.
    void followStatus(bool followed);
    void refreshSaDetails();

    /// Undoes what a killed predecessor journaled: see EngineJournal.cpp.
    void restoreFromJournal();

    // Helpers
    /// Every function that reads or changes the state below the queue
    /// starts with this; see EngineQueue::assertOwnsState.
    void assertOnQueue(const char* function) const { m_queue.assertOwnsState(function); }
    Expected<std::unique_ptr<DynamicStore>, std::string>
    openDynamicStore(DynamicStore::ChangeHandler onChange);
    /// System log with the daemon prefix, and the same text to the app.
    void log(const std::string& text) override;
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
    /// Answers leak checks the queue does not reach in time.
    ReplyDeadlines m_replyDeadlines;

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
    NetworkState m_network;
    CharonSupervisor m_charon;
    std::vector<std::unique_ptr<Tunnel>> m_tunnels;
    std::optional<VPNTunnelStatus> m_lastError;
    std::uint64_t m_lastTunnelSerial = 0;
    /// What a killed predecessor left has been undone (or there was no
    /// journal to read).
    bool m_journalRestored = false;
    /// The administrator's profiles, in priority order.
    std::vector<ManagedProfile> m_managed;
    /// Raised on every new managed list, so that clients ask for it again.
    std::uint64_t m_managedRevision = 0;
    /// The secrets each managed profile (upper-case ID) was last started
    /// with, for reconnecting it when its record changes.
    std::map<std::string, VPNSecrets> m_managedSecrets;
    /// Always-on profiles an authorized user stopped: left down until the
    /// next reload or daemon start.
    std::vector<Uuid> m_alwaysOnStoppedByUser;
    std::unique_ptr<EngineTimer> m_alwaysOnRetryTimer;
    Clock::Duration m_alwaysOnRetryDelay{};
    /// Refreshes the SA details while a client follows the status.
    std::unique_ptr<EngineTimer> m_saRefreshTimer;
    /// Refreshes still to skip after a failed listing.
    int m_saRefreshSkips = 0;
    /// Declared last, so destroyed first: its keepalive pings and power
    /// messages stop before anything they reach goes.
    TunnelHealth m_health;
};

} // namespace torvane

// The engine object and the life cycle of tunnels: start, stop, stop-all,
// force kill, full teardown and status publication.
#include "helper/engine/VPNEngine.h"

#include "helper/process/EngineError.h"
#include "helper/strongswan/StagingLayout.h"

#include <algorithm>
#include <filesystem>

namespace torvane {

VPNEngine::VPNEngine(EngineEnvironment environment)
    : m_env(std::move(environment)),
      m_journal(m_env.journalPath.empty() ? nullptr
                                          : std::make_unique<ChangeJournal>(m_env.journalPath)),
      m_network(
          NetworkContext{m_env.runner, m_env.routes, m_env.firewall, m_env.ipv6, m_env.locator,
                         m_env.stagingRoot, [this](const std::string& line) { log(line); },
                         [this](const std::string& line) { logToApp(line); }, m_journal.get(),
                         &m_env.processes},
          m_env.launcher, m_env.clock,
          [this](DynamicStore::ChangeHandler onChange) {
              return openDynamicStore(std::move(onChange));
          },
          m_queue, linkWatchOnQueue()),
      m_charon(m_network.context(), m_env.launcher, m_env.vici, m_env.processes, m_env.clock,
               m_queue),
      m_health(*this, m_queue, m_env.clock, m_env.runner, m_env.pingPath, m_env.runInBackground) {
    m_network.setPathChangeHandler([this] { m_health.schedulePathChangeRecovery(); });
    m_charon.setEventHandler([this](const std::string& name) { handleViciEvent(name); });
    if (!m_env.journalPath.empty()) {
        // The first job: nothing may change the machine before what a
        // killed predecessor left behind is undone.
        m_queue.post([this] {
            restoreFromJournal();
            m_journalRestored = true;
        });
    }
}

Expected<std::unique_ptr<DynamicStore>, std::string>
VPNEngine::openDynamicStore(DynamicStore::ChangeHandler onChange) {
    if (!m_env.makeDynamicStore) {
        return Unexpected{std::string("no system configuration store")};
    }
    // Notifications run as engine jobs, like everything else that changes state.
    return m_env.makeDynamicStore(
        std::move(onChange), [this](std::function<void()> job) { m_queue.post(std::move(job)); });
}

LinkWatchOpener VPNEngine::linkWatchOnQueue() {
    if (!m_env.openLinkWatch) {
        return {};
    }
    // Interface changes run as engine jobs, like everything else that
    // changes state.
    return [this](std::function<void()> onChange) {
        return m_env.openLinkWatch(
            [this, onChange = std::move(onChange)] { m_queue.post(onChange); });
    };
}

VPNEngine::~VPNEngine() {
    // No job may run while the state below is destroyed, and no event or
    // output may arrive for a queue that is going away.
    auto lock = m_queue.close();
    m_charon.closeVici();
    m_charon.stopRelayingOutput();
}

void VPNEngine::setOnStatus(std::function<void(const std::string&)> onStatus) {
    std::lock_guard lock(m_callbackLock);
    m_onStatus = std::move(onStatus);
}

void VPNEngine::setOnLog(std::function<void(const std::string&)> onLog) {
    std::lock_guard lock(m_callbackLock);
    m_onLog = std::move(onLog);
}

void VPNEngine::log(const std::string& text) {
    if (m_env.systemLog) {
        m_env.systemLog(text);
    }
    logToApp(text);
}

void VPNEngine::logToApp(const std::string& line) {
    std::function<void(const std::string&)> onLog;
    {
        std::lock_guard lock(m_callbackLock);
        onLog = m_onLog;
    }
    if (onLog) {
        onLog(line);
    }
}

std::string VPNEngine::viciUri() const {
    return torvane::viciUri(m_env.stagingRoot);
}

std::string VPNEngine::swanctlPath() const {
    return m_env.locator.bundledStrongswan("sbin/swanctl");
}

std::string VPNEngine::charonPath() const {
    return m_env.locator.bundledStrongswan("libexec/ipsec/charon");
}

CommandResult VPNEngine::runSwanctl(const std::string& swanctlBin, std::vector<std::string> args,
                                    double timeoutSeconds) {
    assertOnQueue(__func__);
    args.push_back("--uri");
    args.push_back(viciUri());
    return m_env.runner.runCommand(swanctlBin, args, swanctlEnv(m_env.stagingRoot),
                                   std::chrono::duration<double>(timeoutSeconds));
}

void VPNEngine::loadCredentialsAndConnections(const std::string& swanctlBin, bool logOutput) {
    assertOnQueue(__func__);
    for (const char* what : {"--load-creds", "--load-conns"}) {
        const CommandResult result = runSwanctl(swanctlBin, {what}, 30);
        if (logOutput) {
            log(result.output);
        }
        if (result.status != 0) {
            throw EngineError(std::string("swanctl ") + what + " failed (" +
                              std::to_string(result.status) + ")");
        }
    }
}

// --- status ---------------------------------------------------------------

VPNRuntimeStatus VPNEngine::statusSnapshot() const {
    std::lock_guard lock(m_stateLock);
    return m_statusSnapshot;
}

std::string VPNEngine::encodedStatus() const {
    std::lock_guard lock(m_stateLock);
    return encodeRuntimeStatus(m_statusSnapshot);
}

void VPNEngine::pushStatus() {
    assertOnQueue(__func__);
    std::vector<const Tunnel*> ordered;
    for (const auto& tunnel : m_tunnels) {
        ordered.push_back(tunnel.get());
    }
    std::stable_sort(ordered.begin(), ordered.end(),
                     [](const Tunnel* a, const Tunnel* b) { return a->priority < b->priority; });

    VPNRuntimeStatus status;
    for (const Tunnel* tunnel : ordered) {
        status.tunnels.push_back(VPNTunnelStatus{
            tunnel->profile.id.upperText(),
            tunnel->profile.name,
            tunnel->state,
            tunnel->vip,
            tunnel->tun,
            tunnel->message,
            tunnel->priority,
            m_network.killSwitchLoaded() &&
                (tunnel->profile.killSwitchEnabled ||
                 m_network.isKillSwitchLockdownProfile(tunnel->profile.id)),
            tunnel->state == VPNConnState::connected ? tunnel->sa : std::nullopt,
        });
    }
    if (m_lastError && status.tunnel(m_lastError->profileID) == nullptr) {
        status.tunnels.push_back(*m_lastError);
    }
    status.killSwitchHolding = m_network.killSwitchHolding() || lockdownHolds();
    status.managedRevision = m_managedRevision;
    {
        std::lock_guard lock(m_stateLock);
        m_statusSnapshot = status;
    }
    const std::string json = encodeRuntimeStatus(status);
    std::function<void(const std::string&)> onStatus;
    {
        std::lock_guard lock(m_callbackLock);
        onStatus = m_onStatus;
    }
    if (onStatus) {
        onStatus(json);
    }
}

Tunnel* VPNEngine::tunnelWithProfileID(std::string_view profileID) {
    assertOnQueue(__func__);
    const auto id = Uuid::parse(profileID);
    if (!id) {
        return nullptr;
    }
    for (const auto& tunnel : m_tunnels) {
        if (tunnel->profile.id == *id) {
            return tunnel.get();
        }
    }
    return nullptr;
}

std::vector<Tunnel*> VPNEngine::allTunnels() {
    assertOnQueue(__func__);
    std::vector<Tunnel*> all;
    for (const auto& tunnel : m_tunnels) {
        all.push_back(tunnel.get());
    }
    return all;
}

std::vector<Tunnel*> VPNEngine::byPriority() {
    assertOnQueue(__func__);
    std::vector<Tunnel*> ordered = allTunnels();
    std::sort(ordered.begin(), ordered.end(), [](const Tunnel* a, const Tunnel* b) {
        if (a->priority != b->priority) {
            return a->priority < b->priority;
        }
        return a->profile.id.lowerText() < b->profile.id.lowerText();
    });
    return ordered;
}

void VPNEngine::reconcileAll() {
    assertOnQueue(__func__);
    m_network.reconcileAll(byPriority(), allTunnels());
}

void VPNEngine::updateNetworkNotifications() {
    assertOnQueue(__func__);
    m_network.updateNotifications(!m_tunnels.empty());
}

// --- commands ---------------------------------------------------------------

namespace {

constexpr const char* kStoppingText = "the helper is stopping";

} // namespace

void VPNEngine::start(VPNProfile profile, VPNSecrets secrets, CommandReply reply) {
    m_queue.post([this, profile = std::move(profile), secrets = std::move(secrets),
                  reply = std::move(reply)]() mutable {
        // A managed profile runs as the administrator set it, whatever copy
        // of it the client sent; secrets.d's secrets win over the client's.
        if (const ManagedProfile* managed = managedWithID(profile.id)) {
            profile = managed->profile;
            if (managed->secrets) {
                secrets = *managed->secrets;
            }
            m_managedSecrets[profile.id.upperText()] = secrets;
            std::erase(m_alwaysOnStoppedByUser, profile.id);
        }
        if (auto error = startOnQueue(profile, secrets)) {
            reply(1, *error);
            return;
        }
        const Tunnel* tunnel = tunnelWithProfileID(profile.id.upperText());
        if (tunnel != nullptr && tunnel->vip) {
            reply(0, "Connected (" + *tunnel->vip + ")");
        } else {
            reply(0, "Connected");
        }
    });
}

std::optional<std::string> VPNEngine::startOnQueue(const VPNProfile& profile,
                                                   const VPNSecrets& secrets) {
    assertOnQueue(__func__);
    if (!beginInterruptibleStart()) {
        return std::string("Not started: ") + kStoppingText;
    }
    std::string error;
    try {
        doStart(profile, secrets);
        endInterruptibleStart();
        return std::nullopt;
    } catch (const std::exception& failure) {
        error = failure.what();
    }
    if (endInterruptibleStart()) {
        // The daemon's teardown runs right after this job and undoes
        // everything the start did. Undoing it here, with every program
        // cut short, would forget changes it never managed to undo.
        log("start of '" + profile.name + "' cancelled — " + kStoppingText);
        return std::string("Cancelled: ") + kStoppingText;
    }
    log("start failed for '" + profile.name + "': " + error);
    cleanupFailedStart(profile, error);
    if (const ManagedProfile* managed = managedWithID(profile.id); managed && managed->alwaysOn) {
        scheduleAlwaysOnRetry();
    }
    return error;
}

bool VPNEngine::beginInterruptibleStart() {
    std::lock_guard lock(m_interruptLock);
    m_startRunning = !m_stopping;
    return m_startRunning;
}

bool VPNEngine::endInterruptibleStart() {
    std::lock_guard lock(m_interruptLock);
    m_startRunning = false;
    return m_stopping;
}

void VPNEngine::throwIfStopping() {
    std::lock_guard lock(m_interruptLock);
    if (m_stopping) {
        throw EngineError(kStoppingText);
    }
}

void VPNEngine::doStart(const VPNProfile& profile, const VPNSecrets& secrets) {
    assertOnQueue(__func__);
    if (Tunnel* existing = tunnelWithProfileID(profile.id.upperText())) {
        stopTunnel(existing);
    }
    m_lastError.reset();

    const std::string charonBin = charonPath();
    if (!isExecutableFile(charonBin)) {
        throw EngineError("bundled charon not found in the app — rebuild the app (the strongSwan "
                          "tree is missing from Resources)");
    }
    const std::string swanctlBin = swanctlPath();
    if (!isExecutableFile(swanctlBin)) {
        throw EngineError("bundled swanctl not found in the app — rebuild the app (the strongSwan "
                          "tree is missing from Resources)");
    }

    m_tunnels.push_back(std::make_unique<Tunnel>(profile));
    Tunnel& tunnel = *m_tunnels.back();
    tunnel.priority = priorityFor(profile);
    tunnel.serial = ++m_lastTunnelSerial;
    m_health.startReconnectWatchdog();

    tunnel.state = VPNConnState::connecting;
    tunnel.message = "Connecting…";
    pushStatus();

    stageProfile(tunnel, secrets);
    m_charon.ensureRunning(charonBin);
    throwIfStopping();

    if (m_network.killSwitchLoaded()) {
        m_network.reconcileKillSwitch(allTunnels());
    }
    if (m_network.routesCarryAllIPv4()) {
        m_network.addGatewayExclusionRoute(profile.remoteAddr);
    }

    loadCredentialsAndConnections(swanctlBin, true);
    throwIfStopping();

    initiate(tunnel);
    throwIfStopping();

    updateNetworkNotifications();
    reconcileAll();
    pushStatus();
    m_health.startKeepalive(tunnel);

    tunnel.state = VPNConnState::connected;
    tunnel.message = "Connected";
    pushStatus();
}

void VPNEngine::cleanupFailedStart(const VPNProfile& profile, const std::string& error) {
    assertOnQueue(__func__);
    Tunnel* tunnel = tunnelWithProfileID(profile.id.upperText());
    const std::int64_t priority = tunnel != nullptr ? tunnel->priority : priorityFor(profile);
    m_lastError = VPNTunnelStatus{profile.id.upperText(),
                                  profile.name,
                                  VPNConnState::error,
                                  std::nullopt,
                                  std::nullopt,
                                  error,
                                  priority,
                                  false,
                                  std::nullopt};
    if (tunnel != nullptr) {
        stopTunnel(tunnel);
    } else {
        pushStatus();
    }
}

void VPNEngine::stop(std::string profileID, CommandReply reply) {
    m_queue.post([this, profileID = std::move(profileID), reply = std::move(reply)] {
        m_lastError.reset();
        // Only root or an authorized user gets here for an always-on
        // profile; it stays down until the next reload.
        if (const auto id = Uuid::parse(profileID)) {
            if (const ManagedProfile* managed = managedWithID(*id); managed && managed->alwaysOn) {
                m_alwaysOnStoppedByUser.push_back(*id);
            }
        }
        // The user gives the profile up, so the kill switch stops waiting for
        // it; the reconcile below (or the stop's) releases what nothing wants.
        const bool wasHeld = m_network.forgetKillSwitchHold(profileID);
        if (Tunnel* tunnel = tunnelWithProfileID(profileID)) {
            const std::string name = tunnel->profile.name;

            stopTunnel(tunnel);
            reply(0, "Disconnected " + name);
            return;
        }
        if (m_tunnels.empty()) {
            teardownAllOnQueue(true);
        } else if (wasHeld) {
            m_network.reconcileKillSwitch(allTunnels());
        }
        pushStatus();
        reply(0, "Not connected");
    });
}

void VPNEngine::stopAll(CommandReply reply) {
    m_queue.post([this, reply = std::move(reply)] {
        m_lastError.reset();
        m_network.liftKillSwitchHold();
        std::vector<Tunnel*> others;
        for (Tunnel* tunnel : allTunnels()) {
            if (!isAlwaysOn(*tunnel)) {
                others.push_back(tunnel);
            }
        }
        if (others.size() == m_tunnels.size()) {
            teardownAllOnQueue(true);
        } else {
            // The administrator's always-on tunnels stay: everything else goes.
            for (Tunnel* tunnel : others) {
                stopTunnel(tunnel);
            }
            m_network.reconcileKillSwitch(allTunnels());
        }
        pushStatus();
        reply(0, "Disconnected");
    });
}

void VPNEngine::stopTunnel(Tunnel* tunnel) {
    assertOnQueue(__func__);
    m_health.stopKeepalive(*tunnel);
    const std::string swanctlBin = swanctlPath();
    const bool haveSwanctl = isExecutableFile(swanctlBin);
    if (haveSwanctl) {
        runSwanctl(swanctlBin, {"--terminate", "--ike", tunnel->strongswanName()}, 4);
    }
    unstageProfile(*tunnel);
    const std::string name = tunnel->profile.name;
    std::erase_if(m_tunnels, [tunnel](const auto& t) { return t.get() == tunnel; });

    if (m_tunnels.empty()) {
        teardownAllOnQueue(true);
    } else if (haveSwanctl) {
        // charon must forget the removed profile's credentials and connection.
        runSwanctl(swanctlBin, {"--load-creds", "--clear"}, 30);
        runSwanctl(swanctlBin, {"--load-conns"}, 30);
        updateNetworkNotifications();
        reconcileAll();
        pushStatus();
    }
    pushStatus();
    log("stopped tunnel '" + name + "'");
}

void VPNEngine::teardownAll(bool restoreNetworking) {
    // The daemon's exit path: wait for the job in progress, run no other. A
    // start may be waiting out its programs' time limits (an initiation
    // towards a gateway that does not answer takes 20 s): its programs are
    // ended so that it gives up now, and the teardown below undoes it. Any
    // other job is left to finish, as its own undoing must not be cut short.
    {
        std::lock_guard lock(m_interruptLock);
        m_stopping = true;
        if (m_startRunning) {
            m_env.runner.interrupt();
            m_env.vici.interrupt();
        }
    }
    auto lock = m_queue.close();
    m_env.runner.resume();
    m_env.vici.resume();
    // Stopped before its first job ran: a killed predecessor's changes are
    // undone all the same, before our own teardown.
    if (!m_env.journalPath.empty() && !m_journalRestored) {
        restoreFromJournal();
        m_journalRestored = true;
    }
    m_alwaysOnRetryTimer.reset();
    m_network.liftKillSwitchHold();
    // A daemon told to stop restores the machine, lockdown or not; one that
    // is killed leaves the table, and its successor holds it.
    m_network.setKillSwitchLockdown({});
    teardownAllOnQueue(restoreNetworking);
}

void VPNEngine::teardownAllOnQueue(bool restoreNetworking) {
    assertOnQueue(__func__);
    m_health.stopReconnectWatchdog();
    m_network.clearNotifications();
    for (const auto& tunnel : m_tunnels) {
        m_health.stopKeepalive(*tunnel);
    }
    m_network.removeAllRoutes();
    m_network.stopDnsmasq();
    m_network.deactivateKillSwitch();
    if (restoreNetworking) {
        m_network.restoreIPv6();
        m_network.restoreDNS();
    }
    m_network.clearUnderlyingDefaultGateway();
    const std::string swanctlBin = swanctlPath();
    if (isExecutableFile(swanctlBin)) {
        for (const auto& tunnel : m_tunnels) {
            runSwanctl(swanctlBin, {"--terminate", "--ike", tunnel->strongswanName()}, 4);
        }
    }
    m_charon.stop();
    std::error_code ignored;
    std::filesystem::remove_all(m_env.stagingRoot, ignored);
    m_tunnels.clear();
}

void VPNEngine::forceKillAll(CommandReply reply) {
    m_queue.post([this, reply = std::move(reply)] {
        log("force-kill requested — killing all charon/dnsmasq processes");
        m_lastError.reset();
        m_health.stopReconnectWatchdog();
        m_network.clearNotifications();
        for (const auto& tunnel : m_tunnels) {
            m_health.stopKeepalive(*tunnel);
        }
        m_tunnels.clear();
        // Our own charon gets the graceful stop first (SIGTERM, then SIGKILL
        // after 3 s): killed outright it would leave its routing rule and
        // table behind. Our dnsmasq is killed by pid, and whatever else is
        // left in our own service group goes too. Another program's charon
        // or dnsmasq is not ours to end.
        m_charon.stop();
        m_network.forgetDnsmasq();
        m_charon.endOwnLeftovers(std::nullopt);
        m_network.removeAllRoutes();
        // Halves a lost table of ours may not know about; only ours go.
        m_network.removeDefaultRouteHalves();
        m_network.restoreIPv6();
        m_network.restoreDNS();
        m_network.releaseKillSwitchWhateverIsLoaded();
        m_network.clearUnderlyingDefaultGateway();
        std::error_code ignored;
        std::filesystem::remove_all(m_env.stagingRoot, ignored);
        // The administrator's policy outlives the panic button: as at daemon
        // start, a lockdown profile's kill switch holds again and the
        // always-on profiles connect afresh.
        m_alwaysOnRetryTimer.reset();
        m_alwaysOnRetryDelay = {};
        m_network.reconcileKillSwitch({});
        startAlwaysOnProfiles();
        pushStatus();
        reply(0, "Force-killed all VPN processes and restored networking");
    });
}

void VPNEngine::setPriorities(std::vector<std::string> profileIDs, std::function<void()> reply) {
    m_queue.post([this, profileIDs = std::move(profileIDs), reply = std::move(reply)] {
        std::vector<Uuid> order;
        for (const auto& text : profileIDs) {
            if (const auto id = Uuid::parse(text)) {
                order.push_back(*id);
            }
        }
        // The client orders its own profiles only; the managed ones stay
        // first, in the administrator's order.
        std::erase_if(order, [this](const Uuid& id) { return managedWithID(id) != nullptr; });
        bool changed = false;
        for (const auto& tunnel : m_tunnels) {
            const auto position = std::find(order.begin(), order.end(), tunnel->profile.id);
            if (position == order.end()) {
                continue;
            }
            const auto rank = static_cast<std::int64_t>(m_managed.size()) +
                              static_cast<std::int64_t>(position - order.begin());
            if (tunnel->priority != rank) {
                tunnel->priority = rank;
                changed = true;
            }
        }
        if (changed) {
            log("priorities changed — re-resolving route/DNS conflicts");
            updateNetworkNotifications();
            reconcileAll();
        }
        pushStatus();
        reply();
    });
}

} // namespace torvane

#include "Torvane/core/ConnectionManager.h"

#include "Torvane/core/AppLog.h"
#include "Torvane/core/ProfileStore.h"

#include <algorithm>
#include <mutex>
#include <utility>

#include <QCoreApplication>
#include <QMetaObject>
#include <QTimer>

namespace torvane {

QString PasswordPrompt::label(VPNAuthMethod method) {
    if (usesPSK(method)) {
        return QCoreApplication::translate("PasswordPrompt", "Pre-shared Key");
    }
    switch (method) {
    case VPNAuthMethod::eapMSCHAPv2:
        return QCoreApplication::translate("PasswordPrompt", "EAP Password");
    case VPNAuthMethod::xauth:
        return QCoreApplication::translate("PasswordPrompt", "XAuth Password");
    default:
        return {};
    }
}

/// The daemon client's threads reach the manager only through this: it holds
/// the manager until the manager's destructor lets go, under a lock, so a
/// completion either posts to a live manager or is dropped. Qt discards
/// events still queued for an object that is deleted afterwards.
struct ConnectionManager::Relay {
    std::mutex mutex;
    ConnectionManager* target = nullptr;

    void post(std::function<void()> work) {
        std::lock_guard lock(mutex);
        if (target != nullptr) {
            QMetaObject::invokeMethod(target, std::move(work), Qt::QueuedConnection);
        }
    }
};

namespace {

/// Wraps `body` so that, called on any thread, it runs on the manager's
/// thread with the same arguments.
template <class Relay, class Body> auto onManagerThread(std::shared_ptr<Relay> relay, Body body) {
    return [relay = std::move(relay), body = std::move(body)](auto... args) {
        relay->post([body, args...]() mutable { body(std::move(args)...); });
    };
}

QString fromStd(const std::string& text) {
    return QString::fromStdString(text);
}

} // namespace

ConnectionManager::ConnectionManager(HelperClient& helper, ProfileStore& store, QObject* parent)
    : QObject(parent), m_helper(helper), m_store(store), m_relay(std::make_shared<Relay>()),
      m_reconnectTimer(new QTimer(this)) {
    m_relay->target = this;
    m_reconnectTimer->setSingleShot(true);
    QObject::connect(m_reconnectTimer, &QTimer::timeout, this,
                     &ConnectionManager::attemptReconnect);
    m_helper.client().setOnConnectionLost(onManagerThread(m_relay, [this] { helperLost(); }));
    m_helper.client().setOnStatus(
        onManagerThread(m_relay, [this](const VPNRuntimeStatus& status) { setStatus(status); }));
    m_helper.client().setOnLog(
        onManagerThread(m_relay, [this](const std::string& line) { appendLog(fromStd(line)); }));
    // An import may bring a profile whose id a managed one already has.
    QObject::connect(&m_store, &ProfileStore::profilesChanged, this,
                     &ConnectionManager::reportHiddenProfiles);
}

ConnectionManager::~ConnectionManager() {
    m_helper.client().setOnStatus({});
    m_helper.client().setOnLog({});
    m_helper.client().setOnConnectionLost({});
    std::lock_guard lock(m_relay->mutex);
    m_relay->target = nullptr;
}

void ConnectionManager::setPasswordPrompt(PasswordPrompt::Request prompt) {
    m_prompt = std::move(prompt);
}

void ConnectionManager::setTerminateApplication(std::function<void()> terminate) {
    m_terminate = std::move(terminate);
}

bool ConnectionManager::hasActiveTunnel() const {
    for (const auto& tunnel : m_status.tunnels) {
        if (tunnel.state != VPNConnState::disconnected) {
            return true;
        }
    }
    return false;
}

QString ConnectionManager::stateText() const {
    if (!m_helperReachable) {
        return tr(kHelperUnreachableText);
    }
    switch (m_status.aggregateState()) {
    case VPNConnState::disconnected:
        return tr("Disconnected");
    case VPNConnState::connecting:
        return tr("Connecting…");
    case VPNConnState::reconnecting:
        return tr("Reconnecting…");
    case VPNConnState::connected: {
        const int count = m_status.connectedCount();
        if (count != 1) {
            return tr("Connected: %1 tunnels").arg(count);
        }
        for (const auto& tunnel : m_status.tunnels) {
            if (tunnel.state != VPNConnState::connected) {
                continue;
            }
            if (tunnel.assignedVIP) {
                return tr("Connected: %1 (%2)")
                    .arg(fromStd(tunnel.profileName), fromStd(*tunnel.assignedVIP));
            }
            return tr("Connected: %1").arg(fromStd(tunnel.profileName));
        }
        return tr("Connected");
    }
    case VPNConnState::error:
        for (const auto& tunnel : m_status.tunnels) {
            if (tunnel.state == VPNConnState::error) {
                return tunnel.message ? fromStd(*tunnel.message) : tr("Error");
            }
        }
        return tr("Error");
    }
    return tr("Disconnected");
}

std::int64_t ConnectionManager::positionInStore(const Uuid& profileID) const {
    const auto& profiles = m_store.profiles();
    for (std::size_t i = 0; i < profiles.size(); ++i) {
        if (profiles[i].id == profileID) {
            return static_cast<std::int64_t>(i);
        }
    }
    return 0;
}

bool ConnectionManager::connect(const VPNProfile& profile, const VPNSecrets& secrets,
                                std::function<void(HelperResult)> done) {
    if (m_busy) {
        return false;
    }
    setBusy(true);
    VPNProfile copy = profile;
    copy.priority = positionInStore(profile.id);
    m_helper.start(copy, secrets,
                   onManagerThread(m_relay, [this, done](const HelperResult& result) {
                       setBusy(false);
                       if (result.code != 0) {
                           appendLog(tr("Connect failed: %1").arg(fromStd(result.message)));
                       }
                       if (done) {
                           done(result);
                       }
                   }));
    return true;
}

bool ConnectionManager::disconnect(const Uuid& profileID, std::function<void(HelperResult)> done) {
    if (m_busy) {
        return false;
    }
    setBusy(true);
    m_helper.stop(profileID.upperText(),
                  onManagerThread(m_relay, [this, done](const HelperResult& result) {
                      setBusy(false);
                      appendLog(fromStd(result.message));
                      if (done) {
                          done(result);
                      }
                  }));
    return true;
}

bool ConnectionManager::disconnectAll(std::function<void(HelperResult)> done) {
    if (m_busy) {
        return false;
    }
    setBusy(true);
    m_helper.stopAll(onManagerThread(m_relay, [this, done](const HelperResult& result) {
        setBusy(false);
        appendLog(fromStd(result.message));
        if (done) {
            done(result);
        }
    }));
    return true;
}

void ConnectionManager::forceKillAll(std::function<void(HelperResult)> done) {
    setBusy(true);
    m_helper.forceKillAll(onManagerThread(m_relay, [this, done](const HelperResult& result) {
        setBusy(false);
        appendLog(fromStd(result.message));
        refreshStatus([done, result] {
            if (done) {
                done(result);
            }
        });
    }));
}

void ConnectionManager::pushPriorities(const std::vector<Uuid>& profileIDs,
                                       std::function<void(HelperResult)> done) {
    std::vector<std::string> texts;
    texts.reserve(profileIDs.size());
    for (const auto& id : profileIDs) {
        texts.push_back(id.upperText());
    }
    m_helper.setPriorities(
        std::move(texts), onManagerThread(m_relay, [this, done](const HelperResult& result) {
            if (result.code != 0) {
                appendLog(tr("Priorities not applied: %1").arg(fromStd(result.message)));
            }
            if (done) {
                done(result);
            }
        }));
}

void ConnectionManager::quitAndStopHelper() {
    m_helperStopping = true;
    m_reconnectTimer->stop();
    setBusy(true);
    m_helper.shutdownHelper(onManagerThread(m_relay, [this] {
        // An empty snapshot lets the application's quit check pass at once.
        setStatus(VPNRuntimeStatus{});
        if (m_terminate) {
            m_terminate();
        }
    }));
}

void ConnectionManager::refreshStatus(std::function<void()> done) {
    m_helper.fetchStatus(onManagerThread(m_relay, [this, done](const VPNRuntimeStatus& status) {
        setStatus(status);
        if (done) {
            done();
        }
    }));
}

void ConnectionManager::leakCheck(
    std::function<void(Expected<std::vector<LeakFinding>, std::string>)> done) {
    m_helper.leakCheck(onManagerThread(m_relay, std::move(done)));
}

void ConnectionManager::autoConnectOnLaunch(std::function<void()> done) {
    // Managed profiles that are always on are the daemon's to start.
    auto profiles = std::make_shared<std::vector<VPNProfile>>(userProfiles());
    autoConnectStep(std::move(profiles), 0, std::move(done));
}

void ConnectionManager::autoConnectStep(std::shared_ptr<std::vector<VPNProfile>> profiles,
                                        std::size_t index, std::function<void()> done) {
    for (; index < profiles->size(); ++index) {
        const VPNProfile& profile = (*profiles)[index];
        if (!profile.connectOnLaunch) {
            continue;
        }
        // After an app restart the daemon may still run this tunnel.
        const VPNTunnelStatus* tunnel = m_status.tunnel(profile.id.upperText());
        if (tunnel != nullptr && tunnel->state != VPNConnState::disconnected) {
            continue;
        }
        const auto secrets = resolveSecrets(profile);
        const QString name = fromStd(profile.name);
        if (!secrets) {
            appendLog(tr("Auto-connect skipped for '%1' (no password provided)").arg(name));
            continue;
        }
        VPNProfile copy = profile;
        copy.priority = static_cast<std::int64_t>(index);
        setBusy(true);
        m_helper.start(
            copy, *secrets,
            onManagerThread(m_relay, [this, profiles, index, done,
                                      name](const HelperResult& result) {
                setBusy(false);
                if (result.code == 0) {
                    appendLog(tr("Auto-connected '%1'").arg(name));
                } else {
                    appendLog(
                        tr("Auto-connect failed for '%1': %2").arg(name, fromStd(result.message)));
                }
                autoConnectStep(profiles, index + 1, done);
            }));
        return;
    }
    if (done) {
        done();
    }
}

void ConnectionManager::disconnectAndWait(std::function<void()> done) {
    setBusy(true);
    m_helper.stopAll(onManagerThread(m_relay, [this, done](const HelperResult& result) {
        setBusy(false);
        appendLog(fromStd(result.message));
        if (done) {
            done();
        }
    }));
}

void ConnectionManager::disconnectForQuit(double timeoutSeconds, std::function<void()> done) {
    // Whichever comes first, the reply or the time limit, finishes; the
    // other then finds `finished` set and does nothing.
    auto finished = std::make_shared<bool>(false);
    auto finish = [finished, done] {
        if (*finished) {
            return;
        }
        *finished = true;
        if (done) {
            done();
        }
    };
    disconnectAndWait(finish);
    const auto milliseconds = static_cast<int>(std::max(0.0, timeoutSeconds) * 1000.0);
    QTimer::singleShot(milliseconds, this, finish);
}

void ConnectionManager::clearLog() {
    if (m_logLines.isEmpty()) {
        return;
    }
    m_logLines.clear();
    emit logCleared();
}

std::optional<VPNSecrets> ConnectionManager::resolveSecrets(const VPNProfile& profile) {
    VPNSecrets secrets = m_store.secrets(profile.id);
    if (!usesPassword(profile.authMethod) && !usesPSK(profile.authMethod)) {
        return secrets;
    }
    if (!secrets.xauthPassword.empty()) {
        return secrets;
    }
    // The daemon has the administrator's secrets for this one; asking the
    // user would only be in the way.
    const ManagedProfile* managed = managedProfile(profile.id);
    if (managed != nullptr && managed->secretsOrigin != ManagedSecretsOrigin::none) {
        return secrets;
    }
    if (!m_prompt) {
        return std::nullopt;
    }
    auto typed = m_prompt(profile, PasswordPrompt::label(profile.authMethod));
    if (!typed || typed->empty()) {
        return std::nullopt;
    }
    secrets.xauthPassword = std::move(*typed);
    return secrets;
}

const ManagedProfile* ConnectionManager::managedProfile(const Uuid& profileID) const {
    for (const auto& managed : m_managed) {
        if (managed.profile.id == profileID) {
            return &managed;
        }
    }
    return nullptr;
}

std::vector<VPNProfile> ConnectionManager::userProfiles() const {
    std::vector<VPNProfile> shown;
    for (const auto& profile : m_store.profiles()) {
        if (managedProfile(profile.id) == nullptr) {
            shown.push_back(profile);
        }
    }
    return shown;
}

std::vector<VPNProfile> ConnectionManager::shownProfiles() const {
    std::vector<VPNProfile> shown;
    for (const auto& managed : m_managed) {
        shown.push_back(managed.profile);
    }
    auto user = userProfiles();
    shown.insert(shown.end(), user.begin(), user.end());
    return shown;
}

void ConnectionManager::refreshManagedProfiles(std::function<void()> done) {
    m_managedRevision = m_status.managedRevision;
    const std::uint64_t round = ++m_managedFetchRound;
    m_helper.managedProfiles(onManagerThread(
        m_relay,
        [this, round, done](const Expected<std::vector<ManagedProfile>, std::string>& fetched) {
            // A later fetch is under way: its answer is the one to keep.
            if (round == m_managedFetchRound) {
                if (fetched) {
                    setManagedProfiles(*fetched);
                } else {
                    // The next status asks again; the list shown stays as it was.
                    m_managedRevision.reset();
                    appSystemLog("Torvane: managed profiles not fetched: " + fetched.error());
                }
            }
            if (done) {
                done();
            }
        }));
}

void ConnectionManager::setManagedProfiles(std::vector<ManagedProfile> managed) {
    // Secrets never reach the app through this list; should a daemon send
    // some, they are not kept.
    for (auto& each : managed) {
        each.secrets.reset();
    }
    if (managed == m_managed) {
        return;
    }
    m_managed = std::move(managed);
    reportHiddenProfiles();
    emit managedProfilesChanged();
}

void ConnectionManager::reportHiddenProfiles() {
    for (const auto& profile : m_store.profiles()) {
        const ManagedProfile* managed = managedProfile(profile.id);
        if (managed == nullptr || std::find(m_hiddenReported.begin(), m_hiddenReported.end(),
                                            profile.id) != m_hiddenReported.end()) {
            continue;
        }
        m_hiddenReported.push_back(profile.id);
        appendLog(tr("Your profile '%1' is hidden: the managed profile '%2' has the same ID")
                      .arg(fromStd(profile.name), fromStd(managed->profile.name)));
    }
}

void ConnectionManager::setStatus(const VPNRuntimeStatus& status) {
    // While the daemon is away the status is empty; its revision means
    // nothing then, and the reconnect fetches anyway.
    const bool fetchManaged =
        m_helperReachable && !m_helperStopping && m_managedRevision != status.managedRevision;
    if (status != m_status) {
        m_status = status;
        emit statusChanged();
    }
    if (fetchManaged) {
        refreshManagedProfiles();
    }
}

void ConnectionManager::appendLog(const QString& line) {
    m_logLines.append(line);
    while (m_logLines.size() > kMaxLogLines) {
        m_logLines.removeFirst();
    }
    emit logLineAppended(line);
}

void ConnectionManager::helperLost() {
    if (m_helperStopping) {
        return;
    }
    // A loss while already trying again keeps the growing pause, so a daemon
    // that dies at once after each start is not hammered.
    if (m_helperReachable) {
        m_reconnectAttempts = 0;
    }
    ++m_reconnectRound;
    setHelperReachable(false);
    // The daemon may have restarted without its tunnels, or not restarted at
    // all: the last snapshot is no longer known to be true.
    setStatus(VPNRuntimeStatus{});
    m_managedRevision.reset();
    scheduleReconnect();
}

void ConnectionManager::scheduleReconnect() {
    int delay = kFirstReconnectDelayMs;
    for (int i = 0; i < m_reconnectAttempts && delay < kMaxReconnectDelayMs; ++i) {
        delay *= 2;
    }
    m_reconnectTimer->start(std::min(delay, kMaxReconnectDelayMs));
}

void ConnectionManager::attemptReconnect() {
    ++m_reconnectAttempts;
    const std::uint64_t round = m_reconnectRound;
    // Only the socket: registering or repairing here could ask the user for
    // authorization on every attempt. Commands the user starts still repair.
    m_helper.reconnect(onManagerThread(m_relay, [this, round](bool reachable) {
        if (round != m_reconnectRound || m_helperStopping) {
            return;
        }
        if (!reachable) {
            scheduleReconnect();
            return;
        }
        m_helper.subscribe(onManagerThread(m_relay, [this, round](const HelperResult& result) {
            if (round != m_reconnectRound || m_helperStopping) {
                return;
            }
            if (result.code == -1) {
                scheduleReconnect();
                return;
            }
            // Refused: reachable all the same, without pushes, as at start-up.
            if (result.code != 0) {
                appendLog(fromStd(result.message));
            }
            reconnectFinished(round);
        }));
    }));
}

void ConnectionManager::reconnectFinished(std::uint64_t round) {
    m_helper.fetchStatus(onManagerThread(m_relay, [this, round](const VPNRuntimeStatus& status) {
        // A loss meanwhile has started another round.
        if (round != m_reconnectRound || m_helperStopping) {
            return;
        }
        setStatus(status);
        setHelperReachable(true);
        // A restarted daemon may have read other files, whatever its revision says.
        refreshManagedProfiles();
        appSystemLog("Torvane: Helper: reconnected, subscribed and status fetched (attempt " +
                     std::to_string(m_reconnectAttempts) + ")");
    }));
}

void ConnectionManager::setHelperReachable(bool reachable) {
    if (reachable == m_helperReachable) {
        return;
    }
    m_helperReachable = reachable;
    emit helperReachableChanged(reachable);
}

void ConnectionManager::setBusy(bool busy) {
    if (busy == m_busy) {
        return;
    }
    m_busy = busy;
    emit busyChanged(busy);
}

} // namespace torvane

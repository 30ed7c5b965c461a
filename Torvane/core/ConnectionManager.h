#pragma once

#include "Torvane/core/HelperClient.h"
#include "shared/Uuid.h"
#include "shared/VPNAuthMethod.h"
#include "shared/VPNProfile.h"
#include "shared/VPNRuntimeStatus.h"
#include "shared/VPNSecrets.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

namespace torvane {

class ProfileStore;

/// What the user is asked for when a profile's password or pre-shared key is
/// not stored.
namespace PasswordPrompt {

/// "Pre-shared Key", "EAP Password" or "XAuth Password"; empty for methods
/// that need neither.
QString label(VPNAuthMethod method);

/// Asks the user for the secret named `label` of `profile` and returns it,
/// or nothing when the user declines. The tray app shows a dialog; the
/// command-line client reads a file or the terminal. Runs on the manager's
/// thread and may block it.
using Request =
    std::function<std::optional<std::string>(const VPNProfile& profile, const QString& label)>;

} // namespace PasswordPrompt

/// The app's single owner of connection state: the daemon's last status
/// snapshot, the log pane's lines and whether a user command is in flight.
/// It forwards commands to the daemon, takes the daemon's pushes, gathers
/// secrets (from the store, or by asking), connects profiles at launch and
/// runs the disconnect steps of quitting.
///
/// Lives on one thread (the main thread) and must only be used there. The
/// daemon client completes on other threads; every completion is moved back
/// to this object's thread before it touches state, and completions that
/// arrive after the manager is gone are dropped.
///
/// Completion callbacks (`done`) run on the manager's thread, after the
/// manager has updated its own state.
class ConnectionManager : public QObject {
    Q_OBJECT

public:
    static constexpr int kMaxLogLines = 2000;
    /// Said wherever the status shows that the daemon's kill switch holds
    /// for tunnels that are gone; each face adds its own way out.
    static constexpr const char* kKillSwitchHoldingText =
        QT_TR_NOOP("Kill switch holding: traffic blocked");
    /// The state line while the daemon cannot be reached and the manager
    /// keeps trying to reach it again.
    static constexpr const char* kHelperUnreachableText =
        QT_TR_NOOP("Helper unreachable — reconnecting…");
    /// Pauses between reconnect attempts: doubled after each failure, up to
    /// the cap.
    static constexpr int kFirstReconnectDelayMs = 500;
    static constexpr int kMaxReconnectDelayMs = 30'000;

    /// Sets the daemon client's status, log and connection-lost handlers;
    /// both must outlive the manager.
    ConnectionManager(HelperClient& helper, ProfileStore& store, QObject* parent = nullptr);
    ~ConnectionManager() override;

    /// Without a prompt, a missing password declines the connect.
    void setPasswordPrompt(PasswordPrompt::Request prompt);
    /// Asks the application to terminate; called at the end of
    /// `quitAndStopHelper`.
    void setTerminateApplication(std::function<void()> terminate);

    const VPNRuntimeStatus& status() const { return m_status; }
    /// Oldest first, at most `maxLogLines()`.
    const QStringList& logLines() const { return m_logLines; }
    bool busy() const { return m_busy; }
    int maxLogLines() const { return kMaxLogLines; }
    /// False from the loss of the daemon's connection until the manager has
    /// reached it again, subscribed and fetched its status. Meanwhile the
    /// status is empty (the last snapshot may be stale) and the state text
    /// says so.
    bool helperReachable() const { return m_helperReachable; }

    /// The administrator's profiles as last fetched, most important first.
    /// Kept while the daemon is unreachable, fetched again once it is back.
    const std::vector<ManagedProfile>& managedProfiles() const { return m_managed; }
    /// The managed profile with this id, or null.
    const ManagedProfile* managedProfile(const Uuid& profileID) const;
    /// The user's stored profiles in store order, without those whose id a
    /// managed profile has (the managed one stands in for them).
    std::vector<VPNProfile> userProfiles() const;
    /// What the menu and the window list: the managed profiles' records,
    /// then `userProfiles()`.
    std::vector<VPNProfile> shownProfiles() const;
    /// Fetches the managed profiles now (a connect or reconnect to the
    /// daemon, a new revision in the status); `done` runs once the list is
    /// updated, or kept on a failure.
    void refreshManagedProfiles(std::function<void()> done = {});

    /// Some tunnel is in a state other than disconnected.
    bool hasActiveTunnel() const;
    /// The one-line summary of the menu.
    QString stateText() const;

    /// Starts one tunnel, with the profile's priority set to its position in
    /// the store. Dropped (false, `done` never runs) while another command is
    /// in flight. A failure is also appended to the log.
    bool connect(const VPNProfile& profile, const VPNSecrets& secrets,
                 std::function<void(HelperResult)> done = {});
    /// Stops one tunnel; the reply's message goes to the log. Dropped while
    /// busy.
    bool disconnect(const Uuid& profileID, std::function<void(HelperResult)> done = {});
    /// Stops every tunnel; the reply's message goes to the log. Dropped while
    /// busy.
    bool disconnectAll(std::function<void(HelperResult)> done = {});
    /// Kills every strongSwan and DNS proxy process and undoes the daemon's
    /// network changes, then refreshes the status. Runs even while busy.
    void forceKillAll(std::function<void(HelperResult)> done = {});
    /// Sends the profile order (most important first) to the daemon. A
    /// failure is also appended to the log.
    void pushPriorities(const std::vector<Uuid>& profileIDs,
                        std::function<void(HelperResult)> done = {});
    /// Stops every tunnel, terminates the daemon, empties the status and asks
    /// the application to terminate.
    void quitAndStopHelper();
    /// Connects, one after another, the stored profiles marked to connect on
    /// launch that the daemon does not already run.
    void autoConnectOnLaunch(std::function<void()> done = {});
    /// Stops every tunnel and waits for the reply.
    void disconnectAndWait(std::function<void()> done = {});
    /// `disconnectAndWait`, but `done` runs after at most `timeoutSeconds`
    /// even when the daemon never answers.
    void disconnectForQuit(double timeoutSeconds, std::function<void()> done);
    void clearLog();

    /// The stored secrets; when the method needs a password or pre-shared
    /// key and none is stored, the prompt's answer for this connection only
    /// (never stored), unless the profile is managed and the daemon holds
    /// its secrets. Nothing when the user declines.
    std::optional<VPNSecrets> resolveSecrets(const VPNProfile& profile);

    /// Runs the daemon's leak self-check; `done` gets the findings (none
    /// when no tunnel is up) or why the check could not run. Runs even while
    /// busy, since it changes nothing.
    void leakCheck(std::function<void(Expected<std::vector<LeakFinding>, std::string>)> done);
    /// Fetches a snapshot from the daemon and makes it the status (start-up,
    /// after a force kill).
    void refreshStatus(std::function<void()> done = {});
    /// Replaces the status; observers hear of it only when it differs.
    void setStatus(const VPNRuntimeStatus& status);
    /// Appends one line to the log, dropping the oldest beyond the cap.
    void appendLog(const QString& line);

signals:
    void statusChanged();
    void logLineAppended(const QString& line);
    void logCleared();
    void busyChanged(bool busy);
    void helperReachableChanged(bool reachable);
    /// The managed list differs from what it was.
    void managedProfilesChanged();

private:
    struct Relay;

    void setBusy(bool busy);
    void helperLost();
    void scheduleReconnect();
    void attemptReconnect();
    void reconnectFinished(std::uint64_t round);
    void setHelperReachable(bool reachable);
    void autoConnectStep(std::shared_ptr<std::vector<VPNProfile>> profiles, std::size_t index,
                         std::function<void()> done);
    std::int64_t positionInStore(const Uuid& profileID) const;
    void setManagedProfiles(std::vector<ManagedProfile> managed);
    void reportHiddenProfiles();

    HelperClient& m_helper;
    ProfileStore& m_store;
    std::shared_ptr<Relay> m_relay;
    PasswordPrompt::Request m_prompt;
    std::function<void()> m_terminate;

    VPNRuntimeStatus m_status;
    QStringList m_logLines;
    bool m_busy = false;

    bool m_helperReachable = true;
    /// The app stops the daemon itself: its going away is expected.
    bool m_helperStopping = false;
    int m_reconnectAttempts = 0;
    /// Bumped on every loss, so that answers to an attempt made before it
    /// are ignored.
    std::uint64_t m_reconnectRound = 0;
    QTimer* m_reconnectTimer;

    std::vector<ManagedProfile> m_managed;
    /// The revision the last fetch was asked for; none before the first
    /// one and after a loss of the daemon, so the next status fetches.
    std::optional<std::uint64_t> m_managedRevision;
    /// User profiles already reported as hidden behind a managed one.
    std::vector<Uuid> m_hiddenReported;
    /// Bumped per fetch, so that a slow answer never overwrites a newer one.
    std::uint64_t m_managedFetchRound = 0;
};

} // namespace torvane

#pragma once

#include "Torvane/core/HelperClient.h"
#include "Torvane/core/HelperConnection.h"
#include "Torvane/core/HelperTasks.h"
#include "Torvane/core/ServiceRegistry.h"
#include "shared/Clock.h"

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class QSettings;

namespace torvane {

/// The app's one way to the privileged daemon: registers it with the service
/// manager, keeps one cached connection to its socket, refreshes a daemon
/// whose executable has changed, repairs the installation when the daemon
/// cannot be reached, and turns every command into a call that completes
/// exactly once with a (code, message) result.
///
/// Threads: every public operation runs on a worker thread of its own (see
/// HelperTasks) and calls its completion there; daemon callbacks arrive on
/// the connection's reader thread. The cached connection is only touched
/// under `m_lock`. Destroying the DaemonClient fails every call still waiting and
/// waits for the workers.
class DaemonClient final : public HelperClient {
public:
    /// Where the daemon executable's last seen modification time is kept
    /// (seconds since 1970; 0 or missing when never stored).
    static constexpr const char* kMtimeKey = "Torvane.helperMtime";

    struct Dependencies {
        std::shared_ptr<ServiceRegistry> registry;
        std::shared_ptr<Clock> clock;
        std::string socketPath;
        /// The daemon executable whose modification time tells a stale daemon.
        std::string helperExecutable;
        /// Opens the app's settings; called for each use, from worker threads.
        std::function<std::unique_ptr<QSettings>()> openSettings;
    };

    explicit DaemonClient(Dependencies dependencies);
    ~DaemonClient() override;
    DaemonClient(const DaemonClient&) = delete;
    DaemonClient& operator=(const DaemonClient&) = delete;

    /// The process-wide instance: the registry for this environment, the
    /// real clock, the daemon socket and executable from HelperLocator, and
    /// QSettings("kelvor", "Torvane"). Never destroyed.
    static DaemonClient& shared();

    void establishConnection(std::function<void(bool reachable)> done) override;
    void reconnect(std::function<void(bool reachable)> done) override;
    void subscribe(std::function<void(HelperResult)> done) override;
    void fetchStatus(std::function<void(VPNRuntimeStatus)> done) override;
    void
    leakCheck(std::function<void(Expected<std::vector<LeakFinding>, std::string>)> done) override;
    void managedProfiles(
        std::function<void(Expected<std::vector<ManagedProfile>, std::string>)> done) override;
    void start(const VPNProfile& profile, const VPNSecrets& secrets,
               std::function<void(HelperResult)> done) override;
    void stop(const std::string& profileID, std::function<void(HelperResult)> done) override;
    void stopAll(std::function<void(HelperResult)> done) override;
    void forceKillAll(std::function<void(HelperResult)> done) override;
    void setPriorities(std::vector<std::string> profileIDs,
                       std::function<void(HelperResult)> done) override;
    void shutdownHelper(std::function<void()> done) override;

private:
    /// Asks a read-only call whose reply carries one JSON document of type
    /// `ReplyType` and decodes it with `decode`.
    template <typename ReplyType, typename Value, typename Decode>
    void fetchDocument(protocol::HelperCall call, Decode decode,
                       std::function<void(Expected<Value, std::string>)> done);
    // The connection (DaemonClient.cpp).
    std::shared_ptr<HelperConnection> connection();
    void dropConnection();
    void connectionInvalidated(HelperConnection& which);
    void deliverCallback(const protocol::Callback& callback);

    // Calls, run on worker threads; each waits for its one result.
    HelperResult invokeReply(const protocol::Request& request);
    HelperResult invokeWithRetry(std::string_view name, const protocol::Request& request);
    void subscribeNow(const std::function<void(HelperResult)>& done);
    /// What the daemon answered: accepted, declined (with its reason), or
    /// nothing in time.
    enum class TerminateAnswer { accepted, declined, none };
    TerminateAnswer requestTerminate();

    // Registration and repair (DaemonClientRecovery.cpp).
    bool establishConnectionNow();
    void refreshStaleDaemon();
    /// `quiet`: no log line either way (repeated reconnect attempts).
    bool probeReachable(double timeout, bool quiet = false);
    void registerDaemon();
    std::optional<double> helperBinaryMtime() const;
    void terminateRunningHelper();
    /// False when the user dismissed an authorization prompt on the way:
    /// asking again at once would only bring the prompt back.
    bool cleanReRegister();
    void recoverConnection();

    static void log(std::string_view text);

    Dependencies m_deps;
    std::mutex m_lock;
    std::shared_ptr<HelperConnection> m_connection;
    /// `m_connection` once the daemon agreed to push on it; its loss is
    /// reported to `client()` unless the app let it go on purpose.
    const HelperConnection* m_subscription = nullptr;
    /// Every connection made, so that destruction can close those still open.
    std::vector<std::weak_ptr<HelperConnection>> m_connections;
    bool m_closing = false;
    HelperTasks m_tasks;
};

} // namespace torvane

#include "Torvane/core/DaemonClient.h"
#include "Torvane/core/HelperLocator.h"
#include "Torvane/core/ResumeOnce.h"

#include <QSettings>

namespace torvane {

namespace {

constexpr double kProbeTimeout = 6;
constexpr double kProbeAfterTerminateTimeout = 1;
constexpr double kPauseAfterTerminate = 1;
constexpr double kPauseAfterForcedUnregister = 0.5;
constexpr double kPauseAfterForcedRegister = 1;
constexpr double kPauseBeforeRetry = 0.4;
constexpr double kRegisterAttemptPause = 0.5;
constexpr int kRegisterAttempts = 4;
constexpr int kRepairCycles = 3;

} // namespace

std::optional<double> DaemonClient::helperBinaryMtime() const {
    return fileModificationTime(m_deps.helperExecutable);
}

void DaemonClient::registerDaemon() {
    const auto error = m_deps.registry->registerDaemon();
    const ServiceStatus status = m_deps.registry->status();
    if (!error) {
        log("Helper: service register OK (status " + describe(status) + ")");
    } else {
        log("Helper: service register failed (status " + describe(status) + "): " + *error);
    }
    if (status == ServiceStatus::requiresApproval) {
        log("Helper: daemon requires approval — showing how to enable torvane-helper.socket");
        m_deps.registry->openApprovalSettings();
    }
}

bool DaemonClient::probeReachable(double timeout, bool quiet) {
    auto connection = this->connection();
    if (!connection) {
        return false;
    }
    auto answered = std::make_shared<ResumeOnce<bool>>();
    protocol::Request request;
    request.call = protocol::HelperCall::getVersion;
    // Ends with the wait below: a late firing has nothing left to decide.
    const auto limit =
        m_deps.clock->startTimer(Clock::Duration(timeout), std::nullopt, Clock::Duration(0),
                                 [answered] { answered->resume(false); });
    connection->call(
        request,
        [answered, quiet](const protocol::Reply& reply) {
            const auto* version = std::get_if<protocol::VersionReply>(&reply);
            if (!quiet) {
                log("Helper: installed helper version " + (version ? version->version : ""));
            }
            answered->resume(true);
        },
        [answered, quiet](const std::string& description) {
            if (!quiet) {
                log("Helper: probe connection error: " + description);
            }
            answered->resume(false);
        });
    return answered->wait();
}

void DaemonClient::terminateRunningHelper() {
    log("Helper: helper binary changed — terminating stale running instance");
    const auto staleProcess = m_deps.registry->daemonProcessId();
    const auto answer = requestTerminate();
    dropConnection();
    if (answer == TerminateAnswer::declined) {
        // It keeps an administrator's always-on profile up. Forcing it out
        // would drop that tunnel (and ask for authorization); the package's
        // own upgrade restarts the service instead.
        return;
    }
    m_deps.clock->sleep(Clock::Duration(kPauseAfterTerminate));
    if (!probeReachable(kProbeAfterTerminateTimeout)) {
        return;
    }
    // Socket activation starts a fresh daemon on the very next connection,
    // so an answer alone does not mean the old one ignored the request. When
    // the service manager can tell which process runs, only the same process
    // still running counts as "no effect"; otherwise every refresh would
    // unregister and re-register, each asking the user for authorization.
    const auto answeringProcess = m_deps.registry->daemonProcessId();
    if (staleProcess && answeringProcess &&
        (*staleProcess == 0 || *answeringProcess != *staleProcess)) {
        return;
    }
    log("Helper: terminate had no effect — forcing via service unregister");
    m_deps.registry->unregister();
    dropConnection();
    m_deps.clock->sleep(Clock::Duration(kPauseAfterForcedUnregister));
    registerDaemon();
    m_deps.clock->sleep(Clock::Duration(kPauseAfterForcedRegister));
}

bool DaemonClient::cleanReRegister() {
    if (const auto error = m_deps.registry->unregister()) {
        log("Helper: unregister failed: " + *error);
        if (m_deps.registry->status() == ServiceStatus::requiresApproval) {
            return false;
        }
    }
    for (int attempt = 1; attempt <= kRegisterAttempts; ++attempt) {
        m_deps.clock->sleep(Clock::Duration(attempt * kRegisterAttemptPause));
        const auto error = m_deps.registry->registerDaemon();
        const ServiceStatus status = m_deps.registry->status();
        if (!error) {
            log("Helper: re-register OK (status " + describe(status) + ")");
            if (status == ServiceStatus::requiresApproval) {
                m_deps.registry->openApprovalSettings();
            }
            return true;
        }
        log("Helper: re-register attempt " + std::to_string(attempt) + "/" +
            std::to_string(kRegisterAttempts) + " failed (status " + describe(status) +
            "): " + *error);
        if (status == ServiceStatus::requiresApproval) {
            return false;
        }
    }
    return true;
}

void DaemonClient::recoverConnection() {
    registerDaemon();
    dropConnection();
    m_deps.clock->sleep(Clock::Duration(kPauseBeforeRetry));
    subscribeNow({});
}

void DaemonClient::refreshStaleDaemon() {
    // Whoever runs an unmanaged daemon keeps it current; asking it to exit
    // would leave the app without one.
    if (!m_deps.registry->restartsDaemon()) {
        return;
    }
    const auto mtime = helperBinaryMtime();
    if (!mtime) {
        return;
    }
    const double stored = m_deps.openSettings()->value(kMtimeKey, 0.0).toDouble();
    if (stored != 0 && stored == *mtime) {
        return;
    }
    terminateRunningHelper();
    if (const auto now = helperBinaryMtime()) {
        auto settings = m_deps.openSettings();
        settings->setValue(kMtimeKey, *now);
        settings->sync();
    }
}

bool DaemonClient::establishConnectionNow() {
    registerDaemon();
    refreshStaleDaemon();
    dropConnection();
    if (probeReachable(kProbeTimeout)) {
        return true;
    }
    if (m_deps.registry->status() == ServiceStatus::requiresApproval) {
        log("Helper: daemon requires approval — unreachable until the user enables it");
        return false;
    }
    for (int cycle = 1; cycle <= kRepairCycles; ++cycle) {
        log("Helper: daemon unreachable — clean re-register " + std::to_string(cycle) + "/" +
            std::to_string(kRepairCycles));
        if (!cleanReRegister()) {
            log("Helper: authorization was not given — no more attempts until the app is started "
                "again or the helper is enabled by hand");
            m_deps.registry->openApprovalSettings();
            return false;
        }
        dropConnection();
        if (probeReachable(kProbeTimeout)) {
            return true;
        }
    }
    log("Helper: daemon still unreachable after recovery — giving up (status " +
        describe(m_deps.registry->status()) + ")");
    return false;
}

} // namespace torvane

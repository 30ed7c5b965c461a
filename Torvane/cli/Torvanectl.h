#pragma once

#include "Torvane/cli/CommandLine.h"
#include "Torvane/cli/ProfileOptions.h"
#include "Torvane/cli/ThreadHop.h"
#include "Torvane/core/ConnectionManager.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <QObject>
#include <QTimer>

namespace torvane {

class HelperClient;
class ProfileStore;

namespace cli {

/// Runs one torvanectl command over the app core. Profile commands work on
/// the store alone and return at once; daemon commands connect first
/// (`establishConnection`) and run the event loop until the daemon has
/// answered. Results go to standard output, errors to standard error.
class Torvanectl : public QObject {
    Q_OBJECT

public:
    Torvanectl(HelperClient& helper, ProfileStore& store, QObject* parent = nullptr);
    ~Torvanectl() override;

    /// The exit status: 0 success, 1 failure, 2 usage error.
    int run(const Invocation& invocation);

    /// How long `connect` waits for the daemon's reply.
    static constexpr int kConnectLimitSeconds = 60;
    /// How long `status` waits for the counters of connected tunnels.
    static constexpr int kCountersLimitMilliseconds = 3000;

private:
    int list();
    int add(const Invocation& invocation);
    int remove(const Invocation& invocation);
    int move(const Invocation& invocation);
    int connectProfile(const Invocation& invocation);
    int disconnectProfile(const Invocation& invocation);
    int stopAll();
    int forceKill();
    int status(const Invocation& invocation);
    int check();
    int importFile(const Invocation& invocation);
    /// A .sswan or configuration profile: report, then save unless --dry-run.
    int importOtherClientFile(const Invocation& invocation, const std::string& data);
    int exportProfile(const Invocation& invocation);
    int log();

    /// Reaches the daemon, then runs `next` on this thread; a daemon that
    /// cannot be reached ends the command with status 1.
    void withDaemon(std::function<void()> next);
    /// Reaches the daemon, fetches its managed profiles, then runs `next`
    /// with the profile named (managed or the user's) or why none is.
    void withProfile(const std::string& nameOrId,
                     std::function<void(Expected<FoundProfile, CommandError>)> next);
    /// Runs the event loop until `finish`.
    int runLoop();
    void finish(int exitStatus);
    /// Prints the reply's message and finishes with 0 for code 0, else 1.
    void finishWithReply(const HelperResult& result);
    /// Follows the daemon's pushes; a refusal ends the command with status 1.
    void subscribe();

    /// The passphrase of an export file: from --passphrase-file, else from
    /// the terminal (twice when `confirm`).
    Expected<std::string, CommandError> passphrase(const Invocation& invocation,
                                                   const std::string& prompt, bool confirm);

    void printSnapshot(const VPNRuntimeStatus& previous, const VPNRuntimeStatus& current);
    /// `status` without --watch, when a connected tunnel has no counters yet.
    void printOnceCountersArrive();
    void printTransition();

    HelperClient& m_helper;
    ProfileStore& m_store;
    ConnectionManager m_manager;
    std::shared_ptr<ThreadHop> m_hop;
    std::optional<int> m_exitStatus;
    bool m_endsOnInterrupt = false;

    // connect: the profile watched, its last printed line, the poll timer.
    std::string m_watchedID;
    std::string m_watchedName;
    std::string m_lastTransition;
    bool m_pollPending = false;
    QTimer m_pollTimer;
    QTimer m_limitTimer;
    std::optional<std::string> m_passwordFile;
    std::string m_promptError;
    VPNRuntimeStatus m_printedStatus;
    /// `status --json`: snapshots are printed as JSON objects.
    bool m_printsJson = false;
};

} // namespace cli
} // namespace torvane

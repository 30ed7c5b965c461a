#pragma once

#include "shared/Expected.h"
#include "shared/LeakFinding.h"
#include "shared/VPNProfile.h"
#include "shared/VPNRuntimeStatus.h"
#include "shared/VPNSecrets.h"
#include "shared/managed/ManagedProfile.h"

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace torvane {

/// The (code, message) result of a daemon command. Codes made on the client
/// side: -1 for transport failures ("Helper connection error: …"), -3 for "Failed to encode
/// configuration", -4 when the daemon refused the call because the user is
/// not authorized for it (its error reply's "Not authorized: …" text);
/// every other pair is the daemon's own reply. Calls whose reply carries no
/// result succeed with (0, "").
struct HelperResult {
    static constexpr std::int64_t kNotAuthorized = -4;

    std::int64_t code = 0;
    std::string message;
    friend bool operator==(const HelperResult&, const HelperResult&) = default;
};

/// Receives what the daemon pushes to a subscribed client, and hears when
/// the connection carrying the subscription breaks. The handlers are called
/// on the connection's reader thread; receivers hop to their own thread.
class VPNClient {
public:
    void setOnStatus(std::function<void(const VPNRuntimeStatus&)> handler);
    void setOnLog(std::function<void(const std::string&)> handler);
    void setOnConnectionLost(std::function<void()> handler);

    /// A "statusChanged:" callback: JSON of a VPNRuntimeStatus; data that
    /// does not decode is dropped.
    void statusChanged(const std::string& data);
    /// A "logLine:" callback.
    void logLine(const std::string& line);
    /// The subscribed connection closed without the app asking for it (the
    /// daemon crashed, was upgraded or restarted): no pushes arrive until a
    /// new subscription.
    void connectionLost();

private:
    std::mutex m_mutex;
    std::function<void(const VPNRuntimeStatus&)> m_onStatus;
    std::function<void(const std::string&)> m_onLog;
    std::function<void()> m_onConnectionLost;
};

/// The daemon as the app sees it. Every operation returns at once and
/// completes exactly once, on some other thread (never the caller's, so the
/// UI thread never waits for the daemon); waits and pauses happen off the
/// caller's thread.
class HelperClient {
public:
    virtual ~HelperClient() = default;

    /// Registers, refreshes a stale daemon, probes and repairs; true when the
    /// daemon answered.
    virtual void establishConnection(std::function<void(bool reachable)> done) = 0;
    /// Connects to the daemon's socket again (which starts the daemon where
    /// the service manager holds the socket) and asks for its version; true
    /// when it answered. Registers and repairs nothing, so it never asks the
    /// user for authorization and may be repeated.
    virtual void reconnect(std::function<void(bool reachable)> done) = 0;
    /// Asks the daemon to push status and log lines to `client()`; `done`,
    /// when given, learns whether it agreed.
    virtual void subscribe(std::function<void(HelperResult)> done) = 0;
    /// An empty status on any failure.
    virtual void fetchStatus(std::function<void(VPNRuntimeStatus)> done) = 0;
    /// Runs the daemon's leak self-check; the findings (none when no tunnel
    /// is up), or why they could not be had.
    virtual void
    leakCheck(std::function<void(Expected<std::vector<LeakFinding>, std::string>)> done) = 0;
    /// The administrator's managed profiles (no secrets), most important
    /// first, or why they could not be had.
    virtual void managedProfiles(
        std::function<void(Expected<std::vector<ManagedProfile>, std::string>)> done) = 0;
    virtual void start(const VPNProfile& profile, const VPNSecrets& secrets,
                       std::function<void(HelperResult)> done) = 0;
    /// `profileID` is the upper-case UUID text.
    virtual void stop(const std::string& profileID, std::function<void(HelperResult)> done) = 0;
    virtual void stopAll(std::function<void(HelperResult)> done) = 0;
    virtual void forceKillAll(std::function<void(HelperResult)> done) = 0;
    /// Upper-case UUID texts, most important first.
    virtual void setPriorities(std::vector<std::string> profileIDs,
                               std::function<void(HelperResult)> done) = 0;
    /// Stops every tunnel and asks the daemon to exit.
    virtual void shutdownHelper(std::function<void()> done) = 0;

    VPNClient& client() { return m_client; }

private:
    VPNClient m_client;
};

} // namespace torvane

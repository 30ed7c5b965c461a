#pragma once

#include "shared/VPNProfile.h"
#include "shared/VPNSecrets.h"
#include "shared/managed/ManagedProfile.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace torvane {

/// (code, message): 0 success, 1 engine failure.
using CommandReply = std::function<void(std::int64_t code, const std::string& message)>;

/// What the command service asks of the tunnel engine. Every command returns
/// at once and calls its reply later, from the engine's own serial queue, so
/// a slow command never blocks the caller's thread.
class TunnelEngine {
public:
    virtual ~TunnelEngine() = default;

    virtual void start(VPNProfile profile, VPNSecrets secrets, CommandReply reply) = 0;
    virtual void stop(std::string profileID, CommandReply reply) = 0;
    virtual void stopAll(CommandReply reply) = 0;
    virtual void forceKillAll(CommandReply reply) = 0;
    virtual void setPriorities(std::vector<std::string> profileIDs,
                               std::function<void()> reply) = 0;
    /// The administrator's profiles, in file-name order, as the daemon read
    /// them (at start and on every reload). They come before every client
    /// profile, always-on ones are connected and kept up, removed ones are
    /// stopped and changed ones that are up reconnect with the new record.
    virtual void setManagedProfiles(std::vector<ManagedProfile> /*profiles*/) {}

    /// JSON of the last published snapshot, read under the state lock: never
    /// waits for queued engine work. Empty when encoding fails.
    virtual std::string encodedStatus() const = 0;

    /// Runs the read-only leak self-check of the tunnels that are up and
    /// replies with its findings (JSON, see LeakFinding.h) from the engine
    /// queue, within about three seconds of being taken up. Changes nothing.
    virtual void leakCheck(std::function<void(std::string json)> reply) = 0;

    /// Restores the machine and stops everything, synchronously on the
    /// caller's thread. Only for the daemon's exit path, after which the
    /// process ends. A start still running is cut short and answered with
    /// an error; the teardown undoes what it did.
    virtual void teardownAll(bool restoreNetworking) = 0;

    /// Receives each new snapshot's JSON (called on the engine queue).
    virtual void setOnStatus(std::function<void(const std::string& json)> onStatus) = 0;
    /// Whether some client follows the status. While one does, the engine
    /// adds each connected tunnel's traffic counters and SA details to the
    /// status and refreshes them every few seconds; while none does, it
    /// reads nothing and drops them, so an idle daemon is not woken.
    virtual void setStatusFollowed(bool /*followed*/) {}

    /// Receives each user-visible log line (engine queue and output readers).
    virtual void setOnLog(std::function<void(const std::string& line)> onLog) = 0;
};

} // namespace torvane

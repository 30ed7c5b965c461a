#pragma once

#include "shared/Expected.h"
#include "shared/VPNTunnelStatus.h"
#include "shared/process/CommandRunner.h"

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace torvane {

/// An event subscription on charon's VICI socket. Events only tell the
/// engine that something changed; it then re-reads the SA listing, so no
/// event payload is exposed.
class ViciEvents {
public:
    virtual ~ViciEvents() = default;

    /// Called on the library's event thread with the event's name. Must only
    /// hand the event on (to the engine queue).
    std::function<void(const std::string& name)> onEvent;

    /// Subscribes to `event`; false when charon refused.
    virtual bool registerEvent(const std::string& event) = 0;
    /// Unsubscribes everything and disconnects. Idempotent; the destructor
    /// closes too.
    virtual void close() = 0;
};

/// What charon reports of one IKE SA in its listing.
struct IkeSaState {
    std::string name;
    /// The IKE SA is ESTABLISHED.
    bool established = false;
    /// One of its child SAs is INSTALLED.
    bool childInstalled = false;
    /// The first virtual IP charon assigned to this side.
    std::optional<std::string> vip;
    /// The gateway's address.
    std::optional<std::string> remoteIP;
    /// Counters, algorithms and selectors; present once the IKE SA is
    /// established with a CHILD SA installed.
    std::optional<VPNSaDetails> details;
};

/// charon's control socket: event subscriptions, and the two commands a
/// connect waits for, run in-process so that a connect spawns no program
/// beyond the configuration loads. A seam so engine tests need no charon.
class ViciConnector {
public:
    virtual ~ViciConnector() = default;
    /// Null when the socket cannot be reached.
    virtual std::unique_ptr<ViciEvents> connect(const std::string& uri) = 0;

    /// Brings up the child SA `child` (and its IKE SA), waiting up to
    /// `timeout`. The output holds charon's log of the attempt, one
    /// "[GROUP] message" line each, then "initiate completed successfully"
    /// or "initiate failed: <reason>"; the status is 0 on success.
    virtual CommandResult initiate(const std::string& uri, const std::string& child,
                                   std::chrono::duration<double> timeout) = 0;
    /// The IKE SAs charon holds (only the one called `ike` when given), or
    /// why they could not be read.
    virtual Expected<std::vector<IkeSaState>, std::string>
    listSAs(const std::string& uri, const std::optional<std::string>& ike,
            std::chrono::duration<double> timeout) = 0;

    /// Ends a waiting command at once and makes later ones fail, until
    /// `resume`; the daemon's stop uses it like the runner's.
    virtual void interrupt() {}
    virtual void resume() {}
};

} // namespace torvane

#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace torvane {

/// What a client asks to be allowed to do. Each is one action of the
/// system's authorization policy, named by `actionID`.
enum class AuthorizedAction {
    /// Start and stop tunnels, reorder them, follow status and log.
    connect,
    /// Stop the helper, force-kill every VPN process.
    manage,
};

/// "kv.kelvor.torvane.connect" or "kv.kelvor.torvane.manage", as in the
/// installed policy file.
constexpr std::string_view actionID(AuthorizedAction action) {
    return action == AuthorizedAction::connect ? "kv.kelvor.torvane.connect"
                                               : "kv.kelvor.torvane.manage";
}

/// The process on the other end of a connection, as it was when the
/// connection was accepted. The pid and start time together name exactly one
/// process, even after the pid has been recycled.
struct AuthorizationSubject {
    pid_t pid = 0;
    /// Clock ticks after boot, /proc/PID/stat field 22.
    std::uint64_t startTime = 0;
    uid_t uid = static_cast<uid_t>(-1);
};

struct AuthorizationResult {
    bool authorized = false;
    /// Why not, in a few words for the refused user ("polkit refused it");
    /// empty when authorized.
    std::string reason;
};

/// Decides whether a subject's user may perform an action, possibly after
/// asking that user (or an administrator) to authenticate, which can take
/// minutes. The command service only sees this interface; the daemon uses the
/// system's polkit authority, tests a fake.
class Authorizer {
public:
    using Ticket = std::uint64_t;
    /// Runs on the daemon's main loop.
    using Done = std::function<void(AuthorizationResult)>;

    virtual ~Authorizer() = default;

    /// Starts a check and returns at once. `done` runs exactly once, on the
    /// daemon's main loop, never from within this call; only destroying the
    /// authorizer drops it unrun. Main loop only.
    virtual Ticket check(const AuthorizationSubject& subject, AuthorizedAction action,
                         Done done) = 0;

    /// The asker has gone: abandon check `ticket` (an authentication dialog
    /// it opened is withdrawn). Its `done` still runs, with any result.
    /// Main loop only.
    virtual void cancel(Ticket ticket) = 0;
};

} // namespace torvane

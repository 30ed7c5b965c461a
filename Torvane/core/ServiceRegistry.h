#pragma once

#include <memory>
#include <optional>
#include <string>

namespace torvane {

/// Where the service manager stands with the helper daemon. The numbers are
/// part of the log texts ("unknown(<n>)" for anything else).
enum class ServiceStatus : int {
    notRegistered = 0,
    enabled = 1,
    requiresApproval = 2,
    notFound = 3,
};

/// "notRegistered", "enabled", "requiresApproval", "notFound", or
/// "unknown(<n>)" for a value outside the four.
std::string describe(ServiceStatus status);

/// Registers the privileged helper daemon with the system's service manager
/// so that it is started on demand, and reports where that stands. Calls
/// block (they may wait for the user to authorize them); the helper client
/// makes them from its worker threads only.
class ServiceRegistry {
public:
    virtual ~ServiceRegistry() = default;

    /// Enables the daemon; the error text when that failed. Registering a
    /// daemon that is already enabled and running changes nothing.
    virtual std::optional<std::string> registerDaemon() = 0;
    /// Disables the daemon and stops a running instance; the error text when
    /// that failed.
    virtual std::optional<std::string> unregister() = 0;
    virtual ServiceStatus status() = 0;
    /// Tells the user how to approve the daemon by hand.
    virtual void openApprovalSettings() = 0;
    /// Identifies the running daemon process: 0 when none runs, nothing when
    /// this registry cannot tell. Used to see whether a daemon that still
    /// answers after being asked to exit is the same process or a fresh one
    /// the service manager started on the next connection.
    virtual std::optional<long> daemonProcessId() = 0;
    /// Whether the service manager starts the daemon again after it exits.
    /// A daemon nobody restarts is never asked to exit for being stale.
    virtual bool restartsDaemon() const { return true; }
};

/// The registry for this environment: unmanaged when TORVANE_HELPER_SOCKET
/// names the daemon's socket (development, tests, demos), systemd otherwise.
std::shared_ptr<ServiceRegistry> makeServiceRegistry();

} // namespace torvane

#pragma once

#include "Torvane/core/ServiceRegistry.h"
#include "Torvane/core/ServiceRegistryCommandRunner.h"

#include <functional>
#include <memory>
#include <mutex>

namespace torvane {

/// The daemon as systemd units: `torvane-helper.socket` starts
/// `torvane-helper.service` on the first connection. Enabling and disabling
/// need root; an app that is not root goes through pkexec, and a refused or
/// dismissed authorization leaves the daemon waiting for approval until a
/// later registration succeeds or someone enables it by hand.
///
/// An installed app enables and disables through torvane-helper-control
/// ("enable" / "disable"), installed beside the daemon, so that pkexec asks
/// for Torvane's own polkit action and grants only those operations. Without
/// it (a build tree) systemctl itself is run.
class SystemdServiceRegistry final : public ServiceRegistry {
public:
    static constexpr const char* kSocketUnit = "torvane-helper.socket";
    static constexpr const char* kServiceUnit = "torvane-helper.service";

    /// `isRoot` decides whether privileged commands go through pkexec; by
    /// default the effective user id decides. `controlProgram` is the path
    /// of torvane-helper-control; by default installedControlProgram(). It is
    /// used while it is an executable file owned by root and writable by
    /// nobody else, looked at on every command.
    explicit SystemdServiceRegistry(std::shared_ptr<ServiceCommandRunner> runner,
                                    std::function<bool()> isRoot = {},
                                    std::optional<std::string> controlProgram = std::nullopt);

    std::optional<std::string> registerDaemon() override;
    std::optional<std::string> unregister() override;
    ServiceStatus status() override;
    /// Shows how to enable the daemon by hand: through the presenter the app
    /// set (a window), and always on standard error (torvanectl's place).
    void openApprovalSettings() override;
    /// Where a graphical app shows the instructions. Called on whatever
    /// thread asked; the presenter moves to its own.
    static void setApprovalPresenter(std::function<void(const std::string& instructions)> show);
    std::optional<long> daemonProcessId() override;

    /// What a user has to do to enable the daemon without this app.
    static std::string approvalInstructions();

    /// "<folder of this program>/../lib/torvane/torvane-helper-control",
    /// where the package installs it beside the daemon. Deliberately not
    /// taken from the environment: it is run as root.
    static std::string installedControlProgram();

private:
    /// Runs the control program with `operation`, or systemctl with
    /// `systemctlArguments` when there is no control program.
    std::optional<std::string> runPrivileged(const std::string& operation,
                                             const std::vector<std::string>& systemctlArguments);

    std::shared_ptr<ServiceCommandRunner> m_runner;
    std::function<bool()> m_isRoot;
    std::string m_controlProgram;
    std::mutex m_mutex;
    /// The last privileged command was refused by the authorization agent.
    bool m_approvalPending = false;
};

} // namespace torvane

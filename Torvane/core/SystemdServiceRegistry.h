#pragma once

#include "ServiceRegistry.h"
#include "ServiceRegistryCommandRunner.h"

#include <functional>
#include <memory>
#include <mutex>

namespace torvane {

/// The daemon as systemd units: `torvane-helper.socket` starts
/// `torvane-helper.service` on the first connection. Enabling and disabling
/// need root; an app that is not root goes through pkexec, and a refused or
/// dismissed authorization leaves the daemon waiting for approval until a
/// later registration succeeds or someone enables it by hand.
class SystemdServiceRegistry final : public ServiceRegistry {
public:
    static constexpr const char* kSocketUnit = "torvane-helper.socket";
    static constexpr const char* kServiceUnit = "torvane-helper.service";

    /// `isRoot` decides whether privileged commands go through pkexec; by
    /// default the effective user id decides.
    explicit SystemdServiceRegistry(std::shared_ptr<ServiceCommandRunner> runner,
                                    std::function<bool()> isRoot = {});

    std::optional<std::string> registerDaemon() override;
    std::optional<std::string> unregister() override;
    ServiceStatus status() override;
    /// Prints how to enable the daemon by hand on standard error.
    void openApprovalSettings() override;
    std::optional<long> daemonProcessId() override;

    /// What a user has to do to enable the daemon without this app.
    static std::string approvalInstructions();

private:
    std::optional<std::string> runPrivileged(const std::vector<std::string>& arguments);

    std::shared_ptr<ServiceCommandRunner> m_runner;
    std::function<bool()> m_isRoot;
    std::mutex m_mutex;
    /// The last privileged command was refused by the authorization agent.
    bool m_approvalPending = false;
};

} // namespace torvane

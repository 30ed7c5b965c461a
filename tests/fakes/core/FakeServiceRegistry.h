#pragma once

#include "Torvane/core/ServiceRegistry.h"

#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace torvane::testing {

/// A service registry that records "register", "unregister" and
/// "openApprovalSettings" and answers from a script.
class FakeServiceRegistry final : public ServiceRegistry {
public:
    std::optional<std::string> registerDaemon() override;
    std::optional<std::string> unregister() override;
    ServiceStatus status() override;
    void openApprovalSettings() override;
    std::optional<long> daemonProcessId() override;
    bool restartsDaemon() const override;

    std::vector<std::string> calls() const;
    void setStatus(ServiceStatus status);
    /// Every registration fails with this text (empty: succeeds).
    void setRegisterError(std::string error);
    /// Every unregistration fails with this text and leaves `status` behind
    /// (a dismissed authorization prompt: requiresApproval).
    void setUnregisterError(std::string error, ServiceStatus status);
    /// What daemonProcessId answers, one value per question; nothing once used up.
    void queueProcessIds(std::vector<std::optional<long>> ids);
    /// Runs after a successful registration (e.g. the daemon comes up).
    void setOnRegister(std::function<void()> action);
    void setRestartsDaemon(bool restarts);

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_calls;
    ServiceStatus m_status = ServiceStatus::enabled;
    std::string m_registerError;
    std::string m_unregisterError;
    ServiceStatus m_statusAfterUnregisterError = ServiceStatus::requiresApproval;
    std::deque<std::optional<long>> m_processIds;
    std::function<void()> m_onRegister;
    bool m_restartsDaemon = true;
};

} // namespace torvane::testing

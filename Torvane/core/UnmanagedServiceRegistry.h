#pragma once

#include "Torvane/core/ServiceRegistry.h"

namespace torvane {

/// For a daemon that someone else runs (a developer, a test, a demo) on the
/// socket named by TORVANE_HELPER_SOCKET: there is nothing to register, and
/// the daemon counts as enabled.
class UnmanagedServiceRegistry final : public ServiceRegistry {
public:
    std::optional<std::string> registerDaemon() override { return std::nullopt; }
    std::optional<std::string> unregister() override { return std::nullopt; }
    ServiceStatus status() override { return ServiceStatus::enabled; }
    void openApprovalSettings() override {}
    std::optional<long> daemonProcessId() override { return std::nullopt; }
    bool restartsDaemon() const override { return false; }
};

} // namespace torvane

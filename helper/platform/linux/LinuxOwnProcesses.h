#pragma once

#include "helper/process/OwnProcesses.h"

#include <chrono>
#include <string>

namespace torvane {

/// The daemon's own processes as /proc shows them. A process is signalled
/// through a pidfd opened before its identity is checked, so the signal
/// reaches the process that was checked even if it exits and its pid is
/// taken meanwhile (kernels without pidfds get a plain kill after the check).
class LinuxOwnProcesses final : public OwnProcesses {
public:
    /// `serviceName`: the last element of the control group the daemon has
    /// when systemd runs it as its own service.
    explicit LinuxOwnProcesses(std::string serviceName = "torvane-helper.service",
                               std::chrono::milliseconds grace = std::chrono::seconds(3));

    std::optional<ProcessIdentity> identify(pid_t pid) override;
    std::vector<ProcessIdentity> end(const std::vector<ProcessIdentity>& processes) override;
    std::vector<ProcessIdentity>
    leftoversInOwnGroup(const std::optional<std::string>& name) override;

private:
    std::string m_serviceName;
    std::chrono::milliseconds m_grace;
};

} // namespace torvane

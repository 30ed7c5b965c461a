#pragma once

#include <string>
#include <vector>

namespace torvane {

/// What a service-manager command left behind.
struct ServiceCommandResult {
    /// The exit status; 127 when the program could not be started, 124 when
    /// it overran its time limit and was killed.
    int exitStatus = 0;
    /// Standard output and error merged, trimmed.
    std::string output;
    friend bool operator==(const ServiceCommandResult&, const ServiceCommandResult&) = default;
};

/// Runs the programs the service registry needs (systemctl, pkexec), so that
/// tests can record the argument lists and answer them.
class ServiceCommandRunner {
public:
    virtual ~ServiceCommandRunner() = default;
    /// Runs `arguments[0]` (looked up in PATH) with the rest as arguments,
    /// without a shell.
    virtual ServiceCommandResult run(const std::vector<std::string>& arguments) = 0;
};

/// Runs the commands as child processes, the way the daemon runs its tools
/// (a program that overruns gets SIGTERM, and SIGKILL a second later). The
/// time limit is generous because pkexec waits for the user to authorize.
class SystemServiceCommandRunner final : public ServiceCommandRunner {
public:
    explicit SystemServiceCommandRunner(int timeLimitSeconds = 300)
        : m_timeLimitSeconds(timeLimitSeconds) {}
    ServiceCommandResult run(const std::vector<std::string>& arguments) override;

private:
    int m_timeLimitSeconds;
};

} // namespace torvane

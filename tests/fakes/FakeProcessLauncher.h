#pragma once

#include "helper/process/ChildProcess.h"
#include "tests/fakes/FakeChildProcess.h"

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace torvane {

/// A ProcessLauncher for unit tests: starts nothing, records every launch in
/// order and keeps a FakeChildProcess per launch for the test to drive. The
/// code under test gets a handle to that child; dropping the handle marks
/// the child released (the child itself lives on for inspection).
/// Thread-safe. Pids count up from 4000.
class FakeProcessLauncher final : public ProcessLauncher {
public:
    /// Runs for each launch after it is recorded (outside the lock), before
    /// the handle is returned; e.g. to create the socket a real charon would.
    using Hook = std::function<void(FakeChildProcess& child)>;

    /// The next launch throws EngineError(message) instead of starting.
    void failNextLaunch(std::string message);
    void setHook(Hook hook);

    std::vector<std::shared_ptr<FakeChildProcess>> children() const;
    /// The most recent child; null before the first launch.
    std::shared_ptr<FakeChildProcess> lastChild() const;
    /// Successful launches.
    std::size_t launchCount() const;
    /// Each launch attempt, failed ones included, as path and arguments
    /// joined by single spaces.
    std::vector<std::string> commandLines() const;

    std::unique_ptr<ChildProcess> launch(const std::string& path,
                                         const std::vector<std::string>& args,
                                         const std::optional<EnvironmentOverlay>& env,
                                         OutputHandler onOutput) override;

private:
    mutable std::mutex m_mutex;
    std::vector<std::shared_ptr<FakeChildProcess>> m_children;
    std::vector<std::string> m_commandLines;
    std::optional<std::string> m_failure;
    Hook m_hook;
    pid_t m_nextPid = 4000;
};

} // namespace torvane

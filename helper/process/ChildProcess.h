#pragma once

#include "shared/process/CommandRunner.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace torvane {

/// A long-lived child program (charon, dnsmasq) whose output is read while
/// it runs.
class ChildProcess {
public:
    virtual ~ChildProcess() = default;

    virtual pid_t pid() const = 0;
    /// True until the process has exited (reaps it when it has).
    virtual bool isRunning() = 0;
    /// Sends SIGTERM.
    virtual void terminate() = 0;
    /// Sends SIGKILL.
    virtual void kill() = 0;
    /// Blocks until the process has exited and been reaped.
    virtual void waitUntilExit() = 0;
    /// The exit status once the process has exited and been reaped
    /// (128 + signal for a signalled process); nothing before.
    virtual std::optional<int> exitStatus() const = 0;
    /// Stops delivering output; after return the output callback is never
    /// called again.
    virtual void stopReadingOutput() = 0;
};

/// Called on a reader thread with each chunk of the child's merged standard
/// output and standard error, as it arrives.
using OutputHandler = std::function<void(std::string_view chunk)>;

/// Starts long-lived children. A seam so that engine tests can stand in a
/// fake charon.
class ProcessLauncher {
public:
    virtual ~ProcessLauncher() = default;

    /// Starts `path` with `args`; `env` as for CommandRunner. Throws
    /// EngineError carrying the system's reason when the launch fails.
    virtual std::unique_ptr<ChildProcess> launch(const std::string& path,
                                                 const std::vector<std::string>& args,
                                                 const std::optional<EnvironmentOverlay>& env,
                                                 OutputHandler onOutput) = 0;
};

} // namespace torvane

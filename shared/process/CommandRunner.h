#pragma once

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace torvane {

/// Exit status and the merged, trimmed output of one finished program.
struct CommandResult {
    /// The exit status; -1 when the program could not be launched; non-zero
    /// for a program ended by a signal.
    int status = 0;
    /// Standard output and standard error interleaved as they were written,
    /// trimmed of leading and trailing whitespace.
    std::string output;

    friend bool operator==(const CommandResult&, const CommandResult&) = default;
};

/// Variables laid over the daemon's own environment for one child.
using EnvironmentOverlay = std::map<std::string, std::string>;

/// Runs outside programs synchronously. Every program the engine runs goes
/// through this seam, so tests can record the exact command lines and replay
/// canned results.
class CommandRunner {
public:
    virtual ~CommandRunner() = default;

    /// Runs `path` with `args` (an argument vector, never a shell line) and
    /// waits for it. With `env`, the child sees the daemon's environment with
    /// `env` laid over it; without, the daemon's environment unchanged. When
    /// `timeout` passes the child gets SIGTERM, and SIGKILL one second later.
    /// Never throws for a program that fails or cannot be launched.
    virtual CommandResult runCommand(const std::string& path, const std::vector<std::string>& args,
                                     const std::optional<EnvironmentOverlay>& env,
                                     std::chrono::duration<double> timeout) = 0;

    /// Ends every program running through this runner now (SIGKILL) and
    /// makes later calls fail at once with status -1, until `resume`. The
    /// daemon's stop uses it so that a start waiting on its programs' time
    /// limits gives up instead of holding up the teardown. Any thread. A
    /// runner that runs nothing real has nothing to end.
    virtual void interrupt() {}
    /// Runs programs again after `interrupt`.
    virtual void resume() {}
};

} // namespace torvane

#pragma once

#include "CommandRunner.h"

namespace torvane {

/// Runs programs as child processes of the daemon.
///
/// Output is read to end of file on a thread of the call's own, so the wait
/// lasts until every holder of the pipe has closed it: a program that leaves
/// a background process holding its output keeps the caller waiting until
/// the timeout. When the timeout passes the child gets SIGTERM; when the
/// output has still not ended one second later, SIGKILL. After that the call
/// waits only for the child itself to die, then returns what the pipe holds,
/// so a descendant that keeps the pipe open cannot block the caller forever.
///
/// Thread-safe: any number of threads may run commands at once. It installs
/// no SIGCHLD handler and reaps only its own children, by pid; nothing else in
/// the daemon may reap children it did not start (waitpid(-1)).
class PosixCommandRunner final : public CommandRunner {
public:
    CommandResult runCommand(const std::string& path, const std::vector<std::string>& args,
                             const std::optional<EnvironmentOverlay>& env,
                             std::chrono::duration<double> timeout) override;
};

} // namespace torvane

#pragma once

#include "shared/process/CommandRunner.h"

#include <mutex>
#include <set>
#include <sys/types.h>

namespace torvane {

/// Runs programs as child processes of the daemon.
///
/// A call is done when the output pipe has reached end of file and the child
/// has exited. End of file comes only when every holder of the pipe has
/// closed it: a program that leaves a background process holding its output
/// keeps the caller waiting until the timeout. When the timeout passes the
/// child gets SIGTERM; when it is still not done one second later, SIGKILL.
/// After that the call waits only for the child itself to die, then returns
/// what the pipe holds, so a descendant that keeps the pipe open cannot block
/// the caller for ever (nor can a child that closed its output and lives on).
///
/// Thread-safe: any number of threads may run commands at once. It installs
/// no SIGCHLD handler and reaps only its own children, by pid; nothing else in
/// the daemon may reap children it did not start (waitpid(-1)).
class PosixCommandRunner final : public CommandRunner {
public:
    CommandResult runCommand(const std::string& path, const std::vector<std::string>& args,
                             const std::optional<EnvironmentOverlay>& env,
                             std::chrono::duration<double> timeout) override;
    void interrupt() override;
    void resume() override;

private:
    /// False when the runner is interrupted: the caller must end `pid`.
    bool track(pid_t pid);
    /// Before the reap, so that `interrupt` never signals a reaped pid.
    void untrack(pid_t pid);

    std::mutex m_lock;
    std::set<pid_t> m_running;
    bool m_interrupted = false;
};

} // namespace torvane

#pragma once

#include "shared/Expected.h"
#include "shared/process/CommandRunner.h"
#include "shared/process/UniqueFd.h"

#include <chrono>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace torvane {

/// A freshly started child whose standard output and standard error both
/// write into one pipe; `output` is that pipe's read end. `pidFd` refers to
/// the process itself (invalid on kernels without pidfds), so that its exit
/// can be waited for with a time limit without reaping it.
struct SpawnedChild {
    pid_t pid = -1;
    UniqueFd output;
    UniqueFd pidFd;
};

/// Starts `path` with `args` (argv[0] is `path`; no shell, no PATH search).
/// The child gets /dev/null as standard input, the pipe as standard output
/// and standard error, no other descriptor of ours, default signal handling
/// and an empty signal mask (whatever the calling thread blocks or the daemon
/// ignores). With `env`, its environment is ours with `env` laid over it;
/// without, ours unchanged. Safe to call from several threads at once. On
/// failure returns the system's reason ("No such file or directory").
Expected<SpawnedChild, std::string>
spawnWithMergedOutput(const std::string& path, const std::vector<std::string>& args,
                      const std::optional<EnvironmentOverlay>& env);

/// Waits until the process behind `pidFd` has exited (it is not reaped) or
/// the deadline passes; true when it has exited. Without a deadline, waits as
/// long as it takes. With an invalid `pidFd`, returns true at once, leaving
/// the wait to the reaping call.
bool waitForProcessExit(const UniqueFd& pidFd,
                        std::optional<std::chrono::steady_clock::time_point> deadline);

/// The exit status a caller sees for a wait status: the exit code, or 128 +
/// the signal number for a child ended by a signal.
int exitStatusFromWaitStatus(int waitStatus);

} // namespace torvane

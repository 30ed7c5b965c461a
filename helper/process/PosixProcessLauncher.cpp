#include "helper/process/PosixProcessLauncher.h"

#include "helper/process/EngineError.h"
#include "helper/process/PosixChildProcess.h"
#include "shared/process/ChildSpawn.h"

#include <csignal>
#include <sys/wait.h>

namespace torvane {

std::unique_ptr<ChildProcess>
PosixProcessLauncher::launch(const std::string& path, const std::vector<std::string>& args,
                             const std::optional<EnvironmentOverlay>& env, OutputHandler onOutput) {
    auto spawned = spawnWithMergedOutput(path, args, env);
    if (!spawned) {
        throw EngineError("failed to launch " + path + ": " + spawned.error());
    }
    const pid_t pid = spawned->pid;
    try {
        return std::make_unique<PosixChildProcess>(std::move(*spawned), std::move(onOutput));
    } catch (const std::exception& error) {
        // No reader thread: the child would block on its output, so it goes.
        ::kill(pid, SIGKILL);
        int waitStatus = 0;
        ::waitpid(pid, &waitStatus, 0);
        throw EngineError("failed to launch " + path + ": " + error.what());
    }
}

} // namespace torvane

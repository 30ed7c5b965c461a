#include "shared/process/PosixCommandRunner.h"

#include "shared/process/ChildSpawn.h"
#include "shared/process/CommandOutput.h"
#include "shared/process/OutputReader.h"

#include <cerrno>
#include <cmath>
#include <csignal>
#include <memory>
#include <sys/wait.h>

namespace torvane {

namespace {

using Clock = std::chrono::steady_clock;

/// The moment `timeout` from now, with nonsense (negative, NaN) read as
/// "no time at all" and absurdly long limits capped so the sum cannot wrap.
Clock::time_point deadlineAfter(std::chrono::duration<double> timeout) {
    constexpr double longest = 365.0 * 24 * 3600;
    double seconds = timeout.count();
    if (!(seconds > 0)) {
        seconds = 0;
    }
    seconds = std::fmin(seconds, longest);
    return Clock::now() +
           std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

int reap(pid_t pid) {
    int waitStatus = 0;
    while (::waitpid(pid, &waitStatus, 0) == -1) {
        if (errno != EINTR) {
            return -1;
        }
    }
    return exitStatusFromWaitStatus(waitStatus);
}

} // namespace

CommandResult PosixCommandRunner::runCommand(const std::string& path,
                                             const std::vector<std::string>& args,
                                             const std::optional<EnvironmentOverlay>& env,
                                             std::chrono::duration<double> timeout) {
    const auto deadline = deadlineAfter(timeout);
    {
        std::lock_guard lock(m_lock);
        if (m_interrupted) {
            return {-1, "not run: " + path + " (the helper is stopping)"};
        }
    }
    auto spawned = spawnWithMergedOutput(path, args, env);
    if (!spawned) {
        return {-1, "failed to launch " + path + ": " + spawned.error()};
    }
    const pid_t pid = spawned->pid;
    // Interrupted while it was being started: it ends at once, like the
    // others; what it wrote so far is still read below.
    if (!track(pid)) {
        ::kill(pid, SIGKILL);
    }

    // Written by the reader thread only; read here after join().
    std::string bytes;
    std::unique_ptr<OutputReader> reader;
    try {
        reader = std::make_unique<OutputReader>(
            std::move(spawned->output), [&bytes](std::string_view chunk) { bytes += chunk; });
    } catch (const std::exception& error) {
        ::kill(pid, SIGKILL);
        untrack(pid);
        reap(pid);
        return {-1, "failed to launch " + path + ": " + error.what()};
    }

    // Done means the output has ended and the child has exited: a child that
    // closes its output and lives on is held to the same limit.
    const auto done = [&](Clock::time_point until) {
        return reader->waitUntilFinished(until) && waitForProcessExit(spawned->pidFd, until);
    };
    // The child is not reaped before the reap below, so its pid cannot be
    // reused by then and the signals reach the right process.
    if (!done(deadline)) {
        ::kill(pid, SIGTERM);
        if (!done(Clock::now() + std::chrono::seconds(1))) {
            ::kill(pid, SIGKILL);
            untrack(pid);
            const int status = reap(pid);
            reader->stop();
            reader->join();
            return {status, commandOutputText(bytes)};
        }
    }
    untrack(pid);
    const int status = reap(pid);
    reader->join();
    return {status, commandOutputText(bytes)};
}

bool PosixCommandRunner::track(pid_t pid) {
    std::lock_guard lock(m_lock);
    m_running.insert(pid);
    return !m_interrupted;
}

void PosixCommandRunner::untrack(pid_t pid) {
    std::lock_guard lock(m_lock);
    m_running.erase(pid);
}

void PosixCommandRunner::interrupt() {
    std::lock_guard lock(m_lock);
    m_interrupted = true;
    // Not reaped while tracked, so each pid is still our child's.
    for (const pid_t pid : m_running) {
        ::kill(pid, SIGKILL);
    }
}

void PosixCommandRunner::resume() {
    std::lock_guard lock(m_lock);
    m_interrupted = false;
}

} // namespace torvane

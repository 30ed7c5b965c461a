#include "shared/process/ChildSpawn.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <system_error>
#include <unistd.h>

extern char** environ;

namespace torvane {

namespace {

std::string reasonFor(int error) {
    return std::generic_category().message(error);
}

std::vector<std::string> childEnvironment(const EnvironmentOverlay& overlay) {
    std::vector<std::string> result;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        const std::string_view variable(*entry);
        const auto equals = variable.find('=');
        const std::string name(variable.substr(0, equals));
        if (!overlay.contains(name)) {
            result.emplace_back(variable);
        }
    }
    for (const auto& [name, value] : overlay) {
        result.push_back(name + "=" + value);
    }
    return result;
}

std::vector<char*> pointersTo(std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    pointers.reserve(strings.size() + 1);
    for (auto& text : strings) {
        pointers.push_back(text.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

/// posix_spawn's attribute and file-action objects, released on every path.
struct SpawnSetup {
    posix_spawnattr_t attributes{};
    posix_spawn_file_actions_t actions{};
    bool haveAttributes = false;
    bool haveActions = false;

    ~SpawnSetup() {
        if (haveActions) {
            posix_spawn_file_actions_destroy(&actions);
        }
        if (haveAttributes) {
            posix_spawnattr_destroy(&attributes);
        }
    }

    int prepare(int outputWriteEnd) {
        if (int error = posix_spawnattr_init(&attributes)) {
            return error;
        }
        haveAttributes = true;
        sigset_t noSignals;
        sigset_t allSignals;
        sigemptyset(&noSignals);
        sigfillset(&allSignals);
        if (int error = posix_spawnattr_setsigmask(&attributes, &noSignals)) {
            return error;
        }
        if (int error = posix_spawnattr_setsigdefault(&attributes, &allSignals)) {
            return error;
        }
        if (int error = posix_spawnattr_setflags(&attributes,
                                                 POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF)) {
            return error;
        }

        if (int error = posix_spawn_file_actions_init(&actions)) {
            return error;
        }
        haveActions = true;
        // The pipe goes to 1 and 2 before 0 is replaced, so this also works
        // when the daemon runs with its standard descriptors closed and the
        // pipe itself landed on one of them.
        if (int error = posix_spawn_file_actions_adddup2(&actions, outputWriteEnd, STDOUT_FILENO)) {
            return error;
        }
        if (int error = posix_spawn_file_actions_adddup2(&actions, outputWriteEnd, STDERR_FILENO)) {
            return error;
        }
        if (int error = posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null",
                                                         O_RDONLY, 0)) {
            return error;
        }
        // Sockets and files another thread opened without O_CLOEXEC must not
        // leak into the child (a leaked listening socket would outlive us).
        return posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
    }
};

} // namespace

Expected<SpawnedChild, std::string>
spawnWithMergedOutput(const std::string& path, const std::vector<std::string>& args,
                      const std::optional<EnvironmentOverlay>& env) {
    int pipeEnds[2];
    // Close-on-exec, so that a child started at the same time by another
    // thread does not hold our write end and delay our end of file.
    if (::pipe2(pipeEnds, O_CLOEXEC) != 0) {
        return Unexpected{reasonFor(errno)};
    }
    UniqueFd readEnd(pipeEnds[0]);
    UniqueFd writeEnd(pipeEnds[1]);

    SpawnSetup setup;
    if (int error = setup.prepare(writeEnd.get())) {
        return Unexpected{reasonFor(error)};
    }

    std::vector<std::string> argvStrings;
    argvStrings.reserve(args.size() + 1);
    argvStrings.push_back(path);
    argvStrings.insert(argvStrings.end(), args.begin(), args.end());
    std::vector<char*> argv = pointersTo(argvStrings);

    std::vector<std::string> envStrings;
    std::vector<char*> envPointers;
    char** envp = environ;
    if (env) {
        envStrings = childEnvironment(*env);
        envPointers = pointersTo(envStrings);
        envp = envPointers.data();
    }

    pid_t pid = -1;
    if (int error = ::posix_spawn(&pid, path.c_str(), &setup.actions, &setup.attributes,
                                  argv.data(), envp)) {
        return Unexpected{reasonFor(error)};
    }
    // The child is ours and not yet reaped, so this pid is still that child.
    // Through syscall(): this glibc's <sys/pidfd.h> lacks C linkage for C++.
    UniqueFd pidFd(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
    return SpawnedChild{pid, std::move(readEnd), std::move(pidFd)};
}

bool waitForProcessExit(const UniqueFd& pidFd,
                        std::optional<std::chrono::steady_clock::time_point> deadline) {
    if (!pidFd.isValid()) {
        return true;
    }
    for (;;) {
        int timeoutMs = -1;
        if (deadline) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(
                *deadline - std::chrono::steady_clock::now());
            timeoutMs = static_cast<int>(std::clamp<std::int64_t>(left.count(), 0, 1000 * 1000));
        }
        pollfd watched{pidFd.get(), POLLIN, 0};
        const int ready = ::poll(&watched, 1, timeoutMs);
        if (ready > 0) {
            return true;
        }
        if (ready == -1 && errno != EINTR) {
            return true;
        }
        if (ready == 0 && deadline && std::chrono::steady_clock::now() >= *deadline) {
            return false;
        }
    }
}

int exitStatusFromWaitStatus(int waitStatus) {
    if (WIFEXITED(waitStatus)) {
        return WEXITSTATUS(waitStatus);
    }
    if (WIFSIGNALED(waitStatus)) {
        return 128 + WTERMSIG(waitStatus);
    }
    return -1;
}

} // namespace torvane

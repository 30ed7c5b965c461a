#include "ServiceRegistryCommandRunner.h"

#include <array>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace torvane {
namespace {

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

int exitStatusOf(int waitStatus) {
    if (WIFEXITED(waitStatus)) {
        return WEXITSTATUS(waitStatus);
    }
    return 128 + (WIFSIGNALED(waitStatus) ? WTERMSIG(waitStatus) : 0);
}

} // namespace

ServiceCommandResult SystemServiceCommandRunner::run(const std::vector<std::string>& arguments) {
    if (arguments.empty()) {
        return {127, "no program given"};
    }
    std::array<int, 2> pipeFds{};
    if (::pipe2(pipeFds.data(), O_CLOEXEC) != 0) {
        return {127, std::string("pipe: ") + std::strerror(errno)};
    }
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 1);
    for (const auto& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDERR_FILENO);
    pid_t pid = -1;
    const int spawnError = ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    if (spawnError != 0) {
        ::close(pipeFds[0]);
        return {127, arguments[0] + ": " + std::strerror(spawnError)};
    }

    std::string output;
    bool overran = false;
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::seconds(m_timeLimitSeconds);
    std::array<char, 4096> buffer{};
    while (true) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            overran = true;
            break;
        }
        pollfd fd{pipeFds[0], POLLIN, 0};
        const int ready = ::poll(&fd, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno != EINTR) {
            break;
        }
        if (ready <= 0) {
            continue;
        }
        const ssize_t n = ::read(pipeFds[0], buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        // Only the first part matters for messages; a chatty child must not
        // make us hold unbounded output.
        if (output.size() < 64 * 1024) {
            output.append(buffer.data(), static_cast<std::size_t>(n));
        }
    }
    ::close(pipeFds[0]);
    if (overran) {
        ::kill(pid, SIGTERM);
        for (int i = 0; i < 20; ++i) {
            if (::waitpid(pid, nullptr, WNOHANG) == pid) {
                return {124, trimmed(output)};
            }
            ::usleep(50 * 1000);
        }
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        return {124, trimmed(output)};
    }
    int waitStatus = 0;
    while (::waitpid(pid, &waitStatus, 0) < 0 && errno == EINTR) {
    }
    return {exitStatusOf(waitStatus), trimmed(output)};
}

} // namespace torvane

#include "helper/platform/linux/LinuxOwnProcesses.h"

#include "helper/platform/linux/ProcessTable.h"
#include "shared/process/UniqueFd.h"

#include <cerrno>
#include <csignal>
#include <poll.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace torvane {
namespace {

/// One process being ended: its pidfd, or none where the kernel has none.
struct Target {
    ProcessIdentity identity;
    UniqueFd pidfd;
};

void sendSignal(const Target& target, int signal) {
    if (target.pidfd.isValid()) {
        ::syscall(SYS_pidfd_send_signal, target.pidfd.get(), signal, nullptr, 0);
    } else {
        ::kill(target.identity.pid, signal);
    }
}

bool hasExited(const Target& target) {
    if (target.pidfd.isValid()) {
        // Readable once the process has exited, reaped or not.
        pollfd entry{target.pidfd.get(), POLLIN, 0};
        return ::poll(&entry, 1, 0) == 1;
    }
    const auto live = readProcessIdentity(target.identity.pid);
    return !live || !isSameProcess(target.identity, *live);
}

/// Waits until every target has exited or `limit` has passed; true when all have.
bool waitForExit(const std::vector<Target>& targets, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        bool all = true;
        for (const auto& target : targets) {
            all = all && hasExited(target);
        }
        if (all) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        ::usleep(50'000);
    }
}

} // namespace

LinuxOwnProcesses::LinuxOwnProcesses(std::string serviceName, std::chrono::milliseconds grace)
    : m_serviceName(std::move(serviceName)), m_grace(grace) {}

std::optional<ProcessIdentity> LinuxOwnProcesses::identify(pid_t pid) {
    return readProcessIdentity(pid);
}

std::vector<ProcessIdentity> LinuxOwnProcesses::end(const std::vector<ProcessIdentity>& processes) {
    std::vector<Target> targets;
    for (const auto& recorded : processes) {
        if (recorded.pid <= 1 || recorded.pid == ::getpid()) {
            continue;
        }
        // Opened first: if the check below passes, the pidfd is that process.
        UniqueFd pidfd(static_cast<int>(::syscall(SYS_pidfd_open, recorded.pid, 0)));
        if (!pidfd.isValid() && errno != ENOSYS) {
            continue;
        }
        const auto live = readProcessIdentity(recorded.pid);
        if (!live || !isSameProcess(recorded, *live)) {
            continue;
        }
        targets.push_back({*live, std::move(pidfd)});
    }
    for (const auto& target : targets) {
        sendSignal(target, SIGTERM);
    }
    if (!waitForExit(targets, m_grace)) {
        for (const auto& target : targets) {
            if (!hasExited(target)) {
                sendSignal(target, SIGKILL);
            }
        }
        waitForExit(targets, std::chrono::seconds(1));
    }
    std::vector<ProcessIdentity> ended;
    for (auto& target : targets) {
        ended.push_back(std::move(target.identity));
    }
    return ended;
}

std::vector<ProcessIdentity>
LinuxOwnProcesses::leftoversInOwnGroup(const std::optional<std::string>& name) {
    const std::string group = serviceGroupOf(processGroupText("self"));
    const auto slash = group.rfind('/');
    // Run by hand the daemon shares its group with the user's shell and
    // everything else of that session: nothing there is ours to end.
    if (slash == std::string::npos || group.substr(slash + 1) != m_serviceName) {
        return {};
    }
    std::vector<ProcessIdentity> leftovers;
    const pid_t self = ::getpid();
    for (const pid_t pid : visibleProcesses()) {
        if (pid == self || (name && processName(pid) != *name) ||
            serviceGroupOf(processGroupText(std::to_string(pid))) != group) {
            continue;
        }
        if (auto identity = readProcessIdentity(pid)) {
            leftovers.push_back(std::move(*identity));
        }
    }
    return leftovers;
}

} // namespace torvane

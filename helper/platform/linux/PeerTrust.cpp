#include "helper/platform/linux/PeerTrust.h"

#include "helper/platform/linux/ProcessTable.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <system_error>
#include <unistd.h>

// The peer's pidfd as the kernel took it at connect time (Linux 6.5); older
// C library headers do not name it yet. 77 on every architecture we build for.
#ifndef SO_PEERPIDFD
#define SO_PEERPIDFD 77
#endif

namespace torvane {
namespace {

class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : m_fd(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    int get() const { return m_fd; }

private:
    int m_fd;
};

int openPidfd(pid_t pid) {
    return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
}

bool processAlive(int pidfd) {
    return ::syscall(SYS_pidfd_send_signal, pidfd, 0, nullptr, 0) == 0;
}

PeerVerdict refused(pid_t pid, uid_t uid, std::string reason) {
    return PeerVerdict{false, pid, uid, 0, std::move(reason)};
}

std::string readLink(const std::string& path) {
    std::string target(4096, '\0');
    const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
    if (n < 0 || static_cast<std::size_t>(n) >= target.size()) {
        return {};
    }
    target.resize(static_cast<std::size_t>(n));
    return target;
}

} // namespace

std::optional<PeerCredentials> peerCredentials(int socketFd) {
    ucred cred{};
    socklen_t length = sizeof cred;
    if (::getsockopt(socketFd, SOL_SOCKET, SO_PEERCRED, &cred, &length) != 0) {
        return std::nullopt;
    }
    return PeerCredentials{cred.pid, cred.uid};
}

PeerTrust::PeerTrust(std::vector<std::string> trustedClients)
    : m_trustedClients(std::move(trustedClients)) {}

PeerVerdict PeerTrust::checkPeer(int socketFd) const {
    const auto credentials = peerCredentials(socketFd);
    if (!credentials) {
        return refused(0, static_cast<uid_t>(-1), "no peer credentials");
    }
    const PeerCredentials cred = *credentials;
    if (cred.pid < 1) {
        // A peer in a PID namespace we cannot see: nothing to check it by.
        return refused(cred.pid, cred.uid, "the peer's pid is not visible");
    }

    int pidfd = -1;
    socklen_t length = sizeof pidfd;
    if (::getsockopt(socketFd, SOL_SOCKET, SO_PEERPIDFD, &pidfd, &length) != 0) {
        if (errno != ENOPROTOOPT && errno != EINVAL) {
            return refused(cred.pid, cred.uid, "the peer has exited");
        }
        // An older kernel: pin the pid now. A recycled pid can still slip in
        // between connect and here, but not past the liveness check below.
        pidfd = openPidfd(cred.pid);
        if (pidfd < 0 && errno != ENOSYS) {
            return refused(cred.pid, cred.uid, "the peer has exited");
        }
    }
    const FileDescriptor owned(pidfd);
    PeerVerdict verdict = checkProcess(cred.pid, pidfd);
    verdict.uid = cred.uid;
    return verdict;
}

PeerVerdict PeerTrust::checkProcess(pid_t pid) const {
    if (pid < 1) {
        return refused(pid, static_cast<uid_t>(-1), "the peer's pid is not visible");
    }
    const int pidfd = openPidfd(pid);
    if (pidfd < 0 && errno != ENOSYS) {
        return refused(pid, static_cast<uid_t>(-1), "the process does not exist");
    }
    const FileDescriptor owned(pidfd);
    return checkProcess(pid, pidfd);
}

PeerVerdict PeerTrust::checkProcess(pid_t pid, int pidfd) const {
    const uid_t noUid = static_cast<uid_t>(-1);
    if (pid < 1) {
        return refused(pid, noUid, "the peer's pid is not visible");
    }

    // Open the executable itself rather than the path it names, so that the
    // owner and mode we check belong to the very file the process runs.
    const std::string exeLink = "/proc/" + std::to_string(pid) + "/exe";
    const FileDescriptor exe(::open(exeLink.c_str(), O_PATH | O_CLOEXEC));
    struct stat exeStat {};
    if (exe.get() < 0 || ::fstat(exe.get(), &exeStat) != 0) {
        return refused(pid, noUid, "the executable cannot be read");
    }
    const std::string exePath = readLink(exeLink);
    const auto identity = readProcessIdentity(pid);

    // Everything read above belonged to the process the pidfd pins only if
    // that process is still alive now; otherwise the pid may name another.
    if (pidfd >= 0 && !processAlive(pidfd)) {
        return refused(pid, noUid, "the process exited during the check");
    }
    if (exePath.empty() || !identity) {
        return refused(pid, noUid, "the executable cannot be read");
    }

    // A package upgrade replaces the program under a running app: the
    // process keeps the old file, now unlinked, and the kernel names it
    // "PATH (deleted)". It ran from the trusted path and, as checked below,
    // is root's and writable by nobody else, so only root can have put it
    // there; it stays trusted. A file still linked somewhere is never taken
    // for a deleted one, whatever its name.
    constexpr std::string_view kDeleted = " (deleted)";
    const bool deleted = exeStat.st_nlink == 0 && exePath.ends_with(kDeleted);
    const std::string runPath =
        deleted ? exePath.substr(0, exePath.size() - kDeleted.size()) : exePath;

    bool listed = false;
    for (const auto& client : m_trustedClients) {
        std::error_code error;
        const auto canonical = std::filesystem::canonical(client, error);
        struct stat clientStat {};
        if (error || ::stat(canonical.c_str(), &clientStat) != 0) {
            continue;
        }
        const bool sameFile =
            clientStat.st_dev == exeStat.st_dev && (deleted || clientStat.st_ino == exeStat.st_ino);
        if (canonical.native() == runPath && sameFile) {
            listed = true;
            break;
        }
    }
    if (!listed) {
        return refused(pid, noUid, "not a trusted client program: " + exePath);
    }
    if (!S_ISREG(exeStat.st_mode) || exeStat.st_uid != 0) {
        return refused(pid, noUid, "the client program is not owned by root");
    }
    if ((exeStat.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        return refused(pid, noUid, "the client program is writable by group or others");
    }
    return PeerVerdict{true, pid, noUid, identity->startTime, {}};
}

} // namespace torvane

#include "shared/managed/ManagedFiles.h"

#include "shared/import/ImportResult.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace torvane::managed {

namespace {

using Outcome = ManagedVerdict::Outcome;

std::string octalMode(mode_t mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
    return text;
}

/// The problem with an open file's owner or mode, if any. Checked on the
/// descriptor that will be read, so that the file cannot be swapped between
/// the check and the read.
std::optional<FileProblem> ownershipProblem(const struct stat& info, FileKind kind) {
    const std::string rule = kind == FileKind::secrets
                                 ? "a secrets file must be root-owned with mode 0600 or stricter"
                                 : "the file must be root-owned and writable only by root";
    const auto ignored = [&](const std::string& what) {
        return FileProblem{Outcome::ignored, what + "; " + rule};
    };
    if (info.st_uid != 0) {
        return ignored("owned by uid " + std::to_string(info.st_uid) + ", not root");
    }
    if ((info.st_mode & S_IWGRP) != 0) {
        return ignored("writable by its group (mode " + octalMode(info.st_mode) + ")");
    }
    if ((info.st_mode & S_IWOTH) != 0) {
        return ignored("writable by others (mode " + octalMode(info.st_mode) + ")");
    }
    if (kind == FileKind::secrets && (info.st_mode & (S_IRGRP | S_IROTH)) != 0) {
        return ignored("readable by group or others (mode " + octalMode(info.st_mode) + ")");
    }
    return std::nullopt;
}

/// Only a secrets file may be unreadable without fault: a check run by
/// another user than root cannot read what only root may.
FileProblem openProblem(int error, bool secrets) {
    if (error == ELOOP) {
        return {Outcome::ignored, "a symbolic link; only regular files are read"};
    }
    if (error == EACCES || error == EPERM) {
        return {secrets ? Outcome::notReadable : Outcome::ignored,
                "present, not readable by this user"};
    }
    return {Outcome::ignored, std::string("cannot be opened: ") + std::strerror(error)};
}

} // namespace

CheckedDirectory::~CheckedDirectory() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

CheckedDirectory::CheckedDirectory(CheckedDirectory&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)) {}

CheckedDirectory& CheckedDirectory::operator=(CheckedDirectory&& other) noexcept {
    if (this != &other) {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
        m_fd = std::exchange(other.m_fd, -1);
    }
    return *this;
}

Expected<CheckedDirectory, FileProblem> CheckedDirectory::open(const std::string& path,
                                                               FileKind kind) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (error == ENOENT) {
            return CheckedDirectory{};
        }
        if (error == ENOTDIR || error == ELOOP) {
            return Unexpected{FileProblem{
                Outcome::ignored, "not a directory (a symbolic link or a file); nothing in it "
                                  "is used"}};
        }
        auto problem = openProblem(error, kind == FileKind::secrets);
        problem.reason += "; nothing in it is used";
        return Unexpected{std::move(problem)};
    }
    CheckedDirectory directory(fd);
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        return Unexpected{FileProblem{Outcome::ignored, "cannot be examined"}};
    }
    if (info.st_uid != 0 || (info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        const std::string what =
            info.st_uid != 0 ? "owned by uid " + std::to_string(info.st_uid)
                             : "writable by group or others (mode " + octalMode(info.st_mode) + ")";
        return Unexpected{
            FileProblem{Outcome::ignored, what + "; nothing in it is used: the directory must be "
                                                 "root-owned and writable only by root"}};
    }
    return directory;
}

std::vector<std::string> CheckedDirectory::names() const {
    std::vector<std::string> names;
    if (m_fd < 0) {
        return names;
    }
    // fdopendir takes the descriptor over; a duplicate keeps ours for openat.
    const int listing = ::fcntl(m_fd, F_DUPFD_CLOEXEC, 0);
    DIR* dir = listing >= 0 ? ::fdopendir(listing) : nullptr;
    if (dir == nullptr) {
        if (listing >= 0) {
            ::close(listing);
        }
        return names;
    }
    ::rewinddir(dir);
    while (const dirent* entry = ::readdir(dir)) {
        std::string name = entry->d_name;
        if (!isLeftover(name)) {
            names.push_back(std::move(name));
        }
    }
    ::closedir(dir);
    // std::string compares as unsigned bytes: the order `ls` gives in the C locale.
    std::sort(names.begin(), names.end());
    return names;
}

bool CheckedDirectory::has(const std::string& name) const {
    struct stat info {};
    return m_fd >= 0 && ::fstatat(m_fd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0;
}

Expected<std::string, FileProblem> CheckedDirectory::read(const std::string& name,
                                                          FileKind kind) const {
    // O_NONBLOCK: a FIFO put here must not hang the daemon in open or read.
    const int fd = ::openat(m_fd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return Unexpected{openProblem(errno, kind == FileKind::secrets)};
    }
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        return Unexpected{FileProblem{Outcome::ignored, "cannot be examined"}};
    }
    if (!S_ISREG(info.st_mode)) {
        return Unexpected{FileProblem{Outcome::ignored, "not a regular file"}};
    }
    if (auto problem = ownershipProblem(info, kind)) {
        return Unexpected{std::move(*problem)};
    }
    if (static_cast<std::size_t>(info.st_size) > kMaxImportFileSize) {
        return Unexpected{FileProblem{Outcome::ignored, "larger than 1 MiB, far more than any "
                                                        "profile"}};
    }
    std::string bytes;
    char buffer[16384];
    for (;;) {
        const ssize_t count = ::read(fd, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            return Unexpected{FileProblem{Outcome::ignored,
                                          std::string("cannot be read: ") + std::strerror(errno)}};
        }
        if (count == 0) {
            break;
        }
        bytes.append(buffer, static_cast<std::size_t>(count));
        // The size may grow after fstat; the limit holds for what is read.
        if (bytes.size() > kMaxImportFileSize) {
            return Unexpected{FileProblem{Outcome::ignored, "larger than 1 MiB, far more than "
                                                            "any profile"}};
        }
    }
    return bytes;
}

bool isLeftover(const std::string& name) {
    return name.empty() || name.starts_with('.') || name.ends_with('~') ||
           name.find(".dpkg-") != std::string::npos;
}

} // namespace torvane::managed

#include "PrivateFile.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <system_error>
#include <unistd.h>

namespace torvane {
namespace {

bool writeAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t written = ::write(fd, data.data(), data.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

} // namespace

std::optional<std::string> writePrivateFile(const std::string& path, std::string_view data) {
    const auto slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty()) {
        return std::generic_category().message(EISDIR);
    }
    // mkostemp creates the file 0600 whatever the umask, so there is no
    // moment at which another user could open it, not even empty (an open
    // descriptor would keep reading after a later chmod). The mode is not
    // changed afterwards: on file systems without Unix modes (a FAT stick)
    // a chmod fails, and there the file is as private as the mount makes it.
    // Hidden, in the target's own folder, so that the rename stays on one
    // file system.
    std::string temporary = folder + "." + name + ".XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        return std::generic_category().message(errno);
    }
    int error = 0;
    if (!writeAll(fd, data) || ::fsync(fd) != 0) {
        error = errno;
    }
    if (::close(fd) != 0 && error == 0) {
        error = errno;
    }
    if (error == 0 && ::rename(temporary.c_str(), path.c_str()) != 0) {
        error = errno;
    }
    if (error != 0) {
        ::unlink(temporary.c_str());
        return std::generic_category().message(error);
    }
    return std::nullopt;
}

} // namespace torvane

#include "helper/platform/linux/SocketActivation.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <system_error>
#include <systemd/sd-daemon.h>
#include <unistd.h>

namespace torvane {
namespace {

std::string systemError(const std::string& what, int error) {
    return what + ": " + std::strerror(error);
}

/// True when some process accepts connections on the socket file at `addr`.
bool socketIsLive(const sockaddr_un& addr) {
    const int probe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (probe < 0) {
        return false;
    }
    const bool live = ::connect(probe, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0;
    ::close(probe);
    return live;
}

Expected<bool, std::string> makeParentFolder(const std::string& path) {
    const auto parent = std::filesystem::path(path).parent_path();
    if (parent.empty()) {
        return true;
    }
    struct stat st {};
    if (::stat(parent.c_str(), &st) == 0) {
        if (!S_ISDIR(st.st_mode)) {
            return Unexpected{parent.native() + " is not a folder"};
        }
        return true;
    }
    std::error_code error;
    std::filesystem::create_directories(parent, error);
    if (error) {
        return Unexpected{"cannot create " + parent.native() + ": " + error.message()};
    }
    // create_directories honours the umask; the folder must be searchable
    // by every user or nobody but root could reach the socket.
    if (::chmod(parent.c_str(), 0755) != 0) {
        return Unexpected{systemError("cannot set the mode of " + parent.native(), errno)};
    }
    return true;
}

Expected<ListeningSocket, std::string> createSocket(const std::string& path) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof addr.sun_path) {
        return Unexpected{std::string("the socket path is empty or too long")};
    }
    std::memcpy(addr.sun_path, path.data(), path.size());

    if (auto parent = makeParentFolder(path); !parent) {
        return Unexpected{parent.error()};
    }

    struct stat existing {};
    if (::lstat(path.c_str(), &existing) == 0) {
        if (!S_ISSOCK(existing.st_mode)) {
            return Unexpected{path + " exists and is not a socket"};
        }
        if (socketIsLive(addr)) {
            return Unexpected{"another process is listening on " + path};
        }
        if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
            return Unexpected{systemError("cannot remove the stale socket " + path, errno)};
        }
    }

    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return Unexpected{systemError("cannot create a socket", errno)};
    }
    const auto fail = [fd](const std::string& what) {
        const int error = errno;
        ::close(fd);
        return Unexpected{systemError(what, error)};
    };
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        return fail("cannot bind " + path);
    }
    if (::chmod(path.c_str(), 0666) != 0) {
        auto error = fail("cannot set the mode of " + path);
        ::unlink(path.c_str());
        return error;
    }
    if (::listen(fd, SOMAXCONN) != 0) {
        auto error = fail("cannot listen on " + path);
        ::unlink(path.c_str());
        return error;
    }
    return ListeningSocket{fd, false, path};
}

} // namespace

Expected<ListeningSocket, std::string> acquireListeningSocket(const std::string& path) {
    // sd_listen_fds(1) also clears LISTEN_FDS so that our children do not
    // believe the socket was meant for them.
    const int passed = sd_listen_fds(1);
    if (passed >= 1 && sd_is_socket_unix(SD_LISTEN_FDS_START, SOCK_STREAM, 1, nullptr, 0) > 0) {
        ::fcntl(SD_LISTEN_FDS_START, F_SETFD, FD_CLOEXEC);
        return ListeningSocket{SD_LISTEN_FDS_START, true, {}};
    }
    return createSocket(path);
}

void removeSocketFile(const ListeningSocket& socket) {
    if (socket.fromSystemd || socket.path.empty()) {
        return;
    }
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (socket.path.size() >= sizeof addr.sun_path) {
        return;
    }
    std::memcpy(addr.sun_path, socket.path.data(), socket.path.size());
    struct stat st {};
    if (::lstat(socket.path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode) && !socketIsLive(addr)) {
        ::unlink(socket.path.c_str());
    }
}

} // namespace torvane

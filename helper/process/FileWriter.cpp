#include "FileWriter.h"

#include "EngineError.h"
#include "UniqueFd.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace torvane {

namespace {

[[noreturn]] void fail(const std::string& path, int error) {
    throw EngineError("could not write " + path + ": " + std::generic_category().message(error));
}

bool writeAll(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t written = ::write(fd, text.data(), text.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        text.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

} // namespace

void writeFile(std::string_view text, const std::string& path, mode_t perms) {
    const auto slash = path.rfind('/');
    const std::string folder =
        slash == std::string::npos ? std::string(".") : path.substr(0, slash == 0 ? 1 : slash);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty()) {
        fail(path, EISDIR);
    }

    // Hidden, in the target's own folder, so the rename stays on one file
    // system and a reader never sees a half-written file.
    std::string temporary = (folder == "/" ? "" : folder) + "/." + name + ".XXXXXX";
    UniqueFd file(::mkostemp(temporary.data(), O_CLOEXEC));
    if (!file.isValid()) {
        fail(path, errno);
    }
    // mkostemp creates the file 0600; it takes its final mode (fchmod ignores
    // the umask) before any byte is written, so a secret is never readable by
    // others, and the rename carries that mode over. No chmod by name after
    // the rename: it would follow a symlink put there meanwhile.
    int error = 0;
    if (::fchmod(file.get(), perms) != 0 || !writeAll(file.get(), text) ||
        ::fsync(file.get()) != 0) {
        error = errno;
    }
    if (::close(file.release()) != 0 && error == 0) {
        error = errno;
    }
    if (error == 0 && ::rename(temporary.c_str(), path.c_str()) != 0) {
        error = errno;
    }
    if (error != 0) {
        ::unlink(temporary.c_str());
        fail(path, error);
    }
}

} // namespace torvane

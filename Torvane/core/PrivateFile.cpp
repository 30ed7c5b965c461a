#include "Torvane/core/PrivateFile.h"

#include "shared/AtomicFile.h"

#include <system_error>

namespace torvane {

std::optional<std::string> writePrivateFile(const std::string& path, std::string_view data) {
    // Left at the 0600 the file is created with: on a mount without Unix
    // modes (a FAT stick) a chmod would fail, and there the file is as
    // private as the mount makes it.
    if (const auto error = writeFileAtomically(path, data, std::nullopt)) {
        return std::generic_category().message(*error);
    }
    return std::nullopt;
}

} // namespace torvane

#pragma once

#include <optional>
#include <string>

namespace torvane {

/// The daemon's socket: TORVANE_HELPER_SOCKET when set, else
/// "/run/torvane/helper.sock".
std::string helperSocketPath();

/// The daemon executable: TORVANE_HELPER_PATH when set, else
/// "<dir of this program>/../lib/torvane/torvane-helper" as installed; when
/// that does not exist, the build tree's "helper/torvane-helper" in a folder
/// above this program.
std::string helperExecutablePath();

/// Modification time of `path` in seconds since 1970, with sub-second
/// precision; nothing when it cannot be read.
std::optional<double> fileModificationTime(const std::string& path);

} // namespace torvane

#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace torvane {

/// Writes `data` to `path` so that only the owner can ever read it: a new
/// file in the same folder, created with mode 0600 before the first byte,
/// synced, then renamed over `path` (a file or symlink already there is
/// replaced, whatever its mode). Readers see the old file or the complete
/// new one. On failure nothing is left behind and the system's reason is
/// returned.
std::optional<std::string> writePrivateFile(const std::string& path, std::string_view data);

} // namespace torvane

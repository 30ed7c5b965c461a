#pragma once

#include <string>
#include <string_view>
#include <sys/types.h>

namespace torvane {

/// Writes `text` to `path` atomically (a temporary file in the same folder,
/// then a rename over the target), then sets the mode to `perms`. The
/// temporary file is created with `perms` already, so secrets are never
/// readable by others, not even for a moment. Throws EngineError with the
/// system's reason on failure; a failed write leaves no temporary file.
void writeFile(std::string_view text, const std::string& path, mode_t perms);

} // namespace torvane

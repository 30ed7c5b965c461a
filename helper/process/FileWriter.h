#pragma once

#include <string>
#include <string_view>
#include <sys/types.h>

namespace torvane {

/// Writes `text` to `path` atomically: a temporary file in the same folder
/// gets the mode `perms` (exactly, whatever the umask) before any byte is
/// written, is synced, then renamed over the target. Secrets are so never
/// readable by others, not even for a moment, and a symlink at `path` is
/// replaced rather than written through. Throws EngineError "could not write
/// <path>: <the system's reason>" on failure; a failed write leaves no
/// temporary file.
void writeFile(std::string_view text, const std::string& path, mode_t perms);

} // namespace torvane

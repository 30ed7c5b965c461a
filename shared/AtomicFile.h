#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace torvane {

/// Writes `data` to `path` atomically: a hidden temporary file in the same
/// folder (so the rename stays on one file system) is created with mode
/// 0600, whatever the umask, before its first byte; it takes `mode` (exactly,
/// with fchmod) when one is given, is synced, then renamed over `path`.
/// Readers see the old file or the complete new one; a symlink at `path` is
/// replaced, never written through; a secret is never readable by others,
/// not even for a moment. Returns the errno of a failure, after which no
/// temporary file is left.
///
/// Without `mode` the file stays 0600 and no chmod is tried, which suits
/// files on mounts without Unix modes (a FAT stick), where a chmod fails.
std::optional<int> writeFileAtomically(const std::string& path, std::string_view data,
                                       std::optional<mode_t> mode);

} // namespace torvane

#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace torvane {

/// What tells one process apart from every other that ever had, or will
/// have, the same pid: the pid alone is recycled, but a pid together with
/// the moment the process started is unique for the life of the machine.
struct ProcessIdentity {
    pid_t pid = 0;
    /// Start time in clock ticks after boot (/proc/PID/stat, field 22).
    std::uint64_t startTime = 0;
    /// The program it runs (/proc/PID/exe); ends in " (deleted)" when the
    /// file was removed or replaced since the process started.
    std::string executable;

    friend bool operator==(const ProcessIdentity&, const ProcessIdentity&) = default;
};

/// The identity of the live process `pid`, or nothing when it does not exist
/// (or has become a zombie). The executable stays empty when it cannot be
/// read, as for a kernel thread.
std::optional<ProcessIdentity> readProcessIdentity(pid_t pid);

/// The start time field of one /proc/PID/stat line. The command name in
/// parentheses may hold any byte, spaces and parentheses included, so the
/// fields are counted from the last ')'.
std::optional<std::uint64_t> parseProcessStartTime(std::string_view statLine);

} // namespace torvane

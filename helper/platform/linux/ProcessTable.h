#pragma once

#include "helper/process/OwnProcesses.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace torvane {

/// The identity of the live process `pid` from /proc (start time: field 22
/// of /proc/PID/stat; program: /proc/PID/exe), or nothing when it does not
/// exist or has become a zombie. The executable stays empty when it cannot
/// be read, as for a kernel thread.
std::optional<ProcessIdentity> readProcessIdentity(pid_t pid);

/// The start time field of one /proc/PID/stat line. The command name in
/// parentheses may hold any byte, spaces and parentheses included, so the
/// fields are counted from the last ')'.
std::optional<std::uint64_t> parseProcessStartTime(std::string_view statLine);

/// True when `live` is the process `recorded` was taken from: same pid and
/// start time, and the same program where both are known. A program that
/// was replaced on disk since (a package upgrade) reads as "PATH (deleted)"
/// and still counts as the same.
bool isSameProcess(const ProcessIdentity& recorded, const ProcessIdentity& live);

/// The control group systemd tracks a process in, from the text of
/// /proc/PID/cgroup: the unified hierarchy's path ("0::"), or where that
/// hierarchy is not in use (only "/"), the path of systemd's own v1
/// hierarchy ("name=systemd"). Empty when neither is there.
std::string serviceGroupOf(std::string_view procCgroupText);

/// Every process (not thread) this process can see in /proc.
std::vector<pid_t> visibleProcesses();

/// The short name of `pid` (/proc/PID/comm); empty when it is gone.
std::string processName(pid_t pid);

/// The text of /proc/PID/cgroup ("self" for the daemon); empty when gone.
std::string processGroupText(const std::string& pid);

} // namespace torvane

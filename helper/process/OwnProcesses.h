#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace torvane {

/// What tells one process apart from every other that ever had, or will
/// have, the same pid: the pid alone is recycled, but a pid together with
/// the moment the process started is unique for the life of the machine.
struct ProcessIdentity {
    pid_t pid = 0;
    /// Start time in clock ticks after boot.
    std::uint64_t startTime = 0;
    /// The program it runs; empty when it could not be read.
    std::string executable;

    friend bool operator==(const ProcessIdentity&, const ProcessIdentity&) = default;
};

/// Finds and ends the daemon's own processes, and only those: charon and
/// dnsmasq run elsewhere on the machine too (a system strongSwan, the
/// dnsmasq of a virtualisation or network manager), and a name says nothing
/// about whose a process is. Runs on the engine queue; ending blocks it for
/// the grace period a process gets between SIGTERM and SIGKILL, and a
/// moment more for the SIGKILL to take.
class OwnProcesses {
public:
    virtual ~OwnProcesses() = default;

    /// The identity of the live process `pid`, read right after the daemon
    /// started it so that it can be recognised later; nothing when it is gone.
    virtual std::optional<ProcessIdentity> identify(pid_t pid) = 0;

    /// Ends each of `processes` that still runs as that very process (same
    /// pid, start time and program): SIGTERM, then SIGKILL for those left
    /// after the grace period. A pid that now belongs to another process is
    /// not touched. Returns the processes it signalled.
    virtual std::vector<ProcessIdentity> end(const std::vector<ProcessIdentity>& processes) = 0;

    /// The processes left in the daemon's own service group, the daemon
    /// itself excepted, optionally only those called `name`. Empty unless
    /// the daemon runs as its own service: run by hand, its group is the
    /// user's session, shell and all.
    virtual std::vector<ProcessIdentity>
    leftoversInOwnGroup(const std::optional<std::string>& name) = 0;
};

} // namespace torvane

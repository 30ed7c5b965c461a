#pragma once

#include "helper/process/OwnProcesses.h"

#include <mutex>
#include <string>
#include <vector>

namespace torvane {

/// OwnProcesses for unit tests. Any pid identifies as {pid, 1000 + pid,
/// "/proc-of/PID"}; end() ends only what the test placed with addLive(); the
/// service group holds nothing (that takes a real one: journal_e2e.sh).
/// Records every call as "end PID START EXE" or "leftovers NAME|*".
/// Thread-safe.
class FakeOwnProcesses final : public OwnProcesses {
public:
    void addLive(ProcessIdentity identity);
    std::vector<std::string> calls() const;

    std::optional<ProcessIdentity> identify(pid_t pid) override;
    std::vector<ProcessIdentity> end(const std::vector<ProcessIdentity>& processes) override;
    std::vector<ProcessIdentity>
    leftoversInOwnGroup(const std::optional<std::string>& name) override;

private:
    mutable std::mutex m_mutex;
    std::vector<ProcessIdentity> m_live;
    std::vector<std::string> m_calls;
};

} // namespace torvane

#pragma once

#include "OwnProcesses.h"

#include <mutex>
#include <string>
#include <vector>

namespace torvane {

/// OwnProcesses for unit tests. Any pid identifies as {pid, 1000 + pid,
/// "/proc-of/PID"}; end() ends only what the test placed with
/// addLive(); leftoversInOwnGroup() lists what it placed with inGroup set.
/// Records every call as "end PID START EXE" or "leftovers NAME|*".
/// Thread-safe.
class FakeOwnProcesses final : public OwnProcesses {
public:
    void addLive(const std::string& name, ProcessIdentity identity, bool inGroup);
    std::vector<std::string> calls() const;

    std::optional<ProcessIdentity> identify(pid_t pid) override;
    std::vector<ProcessIdentity> end(const std::vector<ProcessIdentity>& processes) override;
    std::vector<ProcessIdentity>
    leftoversInOwnGroup(const std::optional<std::string>& name) override;

private:
    struct Live {
        std::string name;
        ProcessIdentity identity;
        bool inGroup = false;
    };
    mutable std::mutex m_mutex;
    std::vector<Live> m_live;
    std::vector<std::string> m_calls;
};

} // namespace torvane

#include "tests/fakes/FakeOwnProcesses.h"

#include <algorithm>

namespace torvane {

void FakeOwnProcesses::addLive(ProcessIdentity identity) {
    std::lock_guard lock(m_mutex);
    m_live.push_back(std::move(identity));
}

std::vector<std::string> FakeOwnProcesses::calls() const {
    std::lock_guard lock(m_mutex);
    return m_calls;
}

std::optional<ProcessIdentity> FakeOwnProcesses::identify(pid_t pid) {
    return ProcessIdentity{pid, 1000u + static_cast<std::uint64_t>(pid),
                           "/proc-of/" + std::to_string(pid)};
}

std::vector<ProcessIdentity> FakeOwnProcesses::end(const std::vector<ProcessIdentity>& processes) {
    std::lock_guard lock(m_mutex);
    std::vector<ProcessIdentity> ended;
    for (const auto& process : processes) {
        m_calls.push_back("end " + std::to_string(process.pid) + " " +
                          std::to_string(process.startTime) + " " + process.executable);
        const auto live = std::find(m_live.begin(), m_live.end(), process);
        if (live != m_live.end()) {
            ended.push_back(process);
            m_live.erase(live);
        }
    }
    return ended;
}

std::vector<ProcessIdentity>
FakeOwnProcesses::leftoversInOwnGroup(const std::optional<std::string>& name) {
    std::lock_guard lock(m_mutex);
    m_calls.push_back("leftovers " + name.value_or("*"));
    return {};
}

} // namespace torvane

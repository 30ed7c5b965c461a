#include "helper/service/ManagedProfiles.h"

#include "shared/managed/ManagedDirectory.h"

namespace torvane {

ManagedProfiles::ManagedProfiles(std::string configDir, Log log)
    : m_configDir(std::move(configDir)), m_log(std::move(log)) {}

void ManagedProfiles::reload() {
    auto directory = readManagedDirectory(m_configDir);
    for (const auto& verdict : directory.verdicts) {
        m_log("managed profiles: " + verdict.text());
    }
    m_log("managed profiles: " + std::to_string(directory.profiles.size()) + " from " +
          m_configDir);
    if (directory.profiles == m_profiles) {
        return;
    }
    m_profiles = std::move(directory.profiles);
    if (m_onChange) {
        m_onChange();
    }
}

} // namespace torvane

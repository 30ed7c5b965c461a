#pragma once

#include "shared/managed/ManagedProfile.h"

#include <functional>
#include <string>
#include <vector>

namespace torvane {

/// The administrator's managed profiles as the daemon last read them from
/// its config dir. Used on the main loop only.
class ManagedProfiles {
public:
    using Log = std::function<void(const std::string&)>;

    ManagedProfiles(std::string configDir, Log log);

    /// Reads the config dir again (at start and on SIGHUP), logs every
    /// verdict and calls the change handler when the list differs.
    void reload();

    /// In priority order: before every profile of a user.
    const std::vector<ManagedProfile>& profiles() const { return m_profiles; }
    void setOnChange(std::function<void()> onChange) { m_onChange = std::move(onChange); }

private:
    std::string m_configDir;
    Log m_log;
    std::vector<ManagedProfile> m_profiles;
    std::function<void()> m_onChange;
};

} // namespace torvane

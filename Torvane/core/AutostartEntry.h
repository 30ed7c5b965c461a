#pragma once

#include <optional>
#include <string>

namespace torvane {

/// "Start Torvane at login": the user's XDG autostart entry,
/// `$XDG_CONFIG_HOME/autostart/torvane.desktop` (`~/.config` without the
/// variable). Its presence is the setting, so the desktop's own autostart
/// settings and this one never disagree. The entry also overrides the
/// hidden system-wide one of the same name.
class AutostartEntry {
public:
    /// The entry of the current user, from the environment.
    AutostartEntry();
    explicit AutostartEntry(std::string path);

    const std::string& path() const { return m_path; }
    bool isEnabled() const;
    /// Writes the entry (creating its folder) or removes it. On failure
    /// nothing changes and a sentence for the user is returned.
    std::optional<std::string> setEnabled(bool enabled);

    /// The file's text.
    static const char* const kContents;

private:
    std::string m_path;
};

} // namespace torvane

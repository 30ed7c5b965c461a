#include "Torvane/core/AutostartEntry.h"

#include "shared/AtomicFile.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include <QCoreApplication>

namespace torvane {

namespace {

/// The message in the user's language, with the path and the system's
/// reason filled in.
std::string failureText(const char* text, const std::string& path, const std::string& reason) {
    return QCoreApplication::translate("AutostartEntry", text)
        .arg(QString::fromStdString(path), QString::fromStdString(reason))
        .toStdString();
}

std::string defaultPath() {
    std::filesystem::path config;
    // The XDG rule: a relative XDG_CONFIG_HOME is invalid and ignored.
    if (const char* home = std::getenv("XDG_CONFIG_HOME"); home != nullptr && home[0] == '/') {
        config = home;
    } else if (const char* user = std::getenv("HOME"); user != nullptr && user[0] != '\0') {
        config = std::filesystem::path(user) / ".config";
    } else {
        config = ".config";
    }
    return (config / "autostart" / "torvane.desktop").string();
}

} // namespace

const char* const AutostartEntry::kContents = "[Desktop Entry]\n"
                                              "Type=Application\n"
                                              "Name=Torvane\n"
                                              "Comment=Connect to IPsec VPN gateways from the "
                                              "system tray\n"
                                              "Exec=torvane\n"
                                              "Icon=torvane\n"
                                              "Terminal=false\n"
                                              "X-GNOME-Autostart-enabled=true\n";

AutostartEntry::AutostartEntry() : m_path(defaultPath()) {}

AutostartEntry::AutostartEntry(std::string path) : m_path(std::move(path)) {}

bool AutostartEntry::isEnabled() const {
    std::error_code ignored;
    return std::filesystem::exists(m_path, ignored);
}

std::optional<std::string> AutostartEntry::setEnabled(bool enabled) {
    std::error_code error;
    if (!enabled) {
        if (!std::filesystem::remove(m_path, error) && error) {
            return failureText(
                QT_TRANSLATE_NOOP("AutostartEntry", "Torvane could not remove %1: %2."), m_path,
                error.message());
        }
        return std::nullopt;
    }
    const std::filesystem::path folder = std::filesystem::path(m_path).parent_path();
    std::filesystem::create_directories(folder, error);
    if (error) {
        return failureText(QT_TRANSLATE_NOOP("AutostartEntry", "Torvane could not create %1: %2."),
                           folder.string(), error.message());
    }
    // Readable by the session's autostart service like any desktop entry.
    if (const auto failure = writeFileAtomically(m_path, kContents, mode_t{0644})) {
        return failureText(QT_TRANSLATE_NOOP("AutostartEntry", "Torvane could not write %1: %2."),
                           m_path, std::generic_category().message(*failure));
    }
    return std::nullopt;
}

} // namespace torvane

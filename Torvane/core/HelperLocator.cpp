#include "Torvane/core/HelperLocator.h"

#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>

namespace torvane {
namespace {

std::string environmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : std::string(value);
}

} // namespace

std::string helperSocketPath() {
    std::string path = environmentValue("TORVANE_HELPER_SOCKET");
    return path.empty() ? std::string("/run/torvane/helper.sock") : path;
}

std::string helperExecutablePath() {
    std::string configured = environmentValue("TORVANE_HELPER_PATH");
    if (!configured.empty()) {
        return configured;
    }
    std::error_code error;
    const auto program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) {
        return "/usr/lib/torvane/torvane-helper";
    }
    const auto programDir = program.parent_path();
    const auto installed = programDir / ".." / "lib" / "torvane" / "torvane-helper";
    if (std::filesystem::exists(installed, error)) {
        return installed.lexically_normal().string();
    }
    // The build tree keeps the daemon in "<build>/helper/" while the app's
    // programs sit some folders below "<build>".
    for (auto dir = programDir; dir.has_relative_path(); dir = dir.parent_path()) {
        const auto built = dir / "helper" / "torvane-helper";
        if (std::filesystem::is_regular_file(built, error)) {
            return built.string();
        }
    }
    return installed.lexically_normal().string();
}

std::optional<double> fileModificationTime(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return std::nullopt;
    }
    return static_cast<double>(info.st_mtim.tv_sec) +
           static_cast<double>(info.st_mtim.tv_nsec) / 1e9;
}

} // namespace torvane

#include "helper/process/BundleLocator.h"

#include <climits>
#include <sys/stat.h>
#include <unistd.h>

namespace torvane {

namespace {

/// The path without its last component: "/a/b/c" → "/a/b", "/a" → "/",
/// "c" → "".
std::string parentDirectory(std::string path) {
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) {
        return {};
    }
    if (slash == 0) {
        return "/";
    }
    return path.substr(0, slash);
}

} // namespace

BundleLocator::BundleLocator(std::string executablePath)
    : m_base(parentDirectory(std::move(executablePath))) {}

BundleLocator BundleLocator::forThisProcess(const char* argv0) {
    char buffer[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (length > 0) {
        return BundleLocator(std::string(buffer, static_cast<std::size_t>(length)));
    }
    return BundleLocator(argv0 != nullptr ? argv0 : "");
}

std::string BundleLocator::bundledStrongswan(std::string_view relative) const {
    return m_base + "/Resources/strongswan/" + std::string(relative);
}

std::string BundleLocator::bundledDnsmasq() const {
    return m_base + "/Resources/dnsmasq/sbin/dnsmasq";
}

EnvironmentOverlay swanctlEnv(const std::string& stagingRoot) {
    return {{"STRONGSWAN_CONF", stagingRoot + "/strongswan.conf"},
            {"SWANCTL_DIR", stagingRoot + "/swanctl"}};
}

bool isExecutableFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

} // namespace torvane

#pragma once

#include "shared/process/CommandRunner.h"

#include <string>
#include <string_view>

namespace torvane {

/// Finds the programs Torvane ships beside the daemon. The daemon lives in
/// <prefix>/lib/torvane/ (or the build tree's helper/ folder); below it are
///   Resources/strongswan/libexec/ipsec/charon, Resources/strongswan/sbin/swanctl,
///   Resources/strongswan/etc/strongswan.conf, Resources/dnsmasq/sbin/dnsmasq.
class BundleLocator {
public:
    /// `executablePath` is the daemon's own executable.
    explicit BundleLocator(std::string executablePath);
    /// Locates from /proc/self/exe (argv[0] when that is unreadable).
    static BundleLocator forThisProcess(const char* argv0);

    /// The daemon's own directory.
    const std::string& baseDirectory() const { return m_base; }
    /// base + "/Resources/strongswan/" + relative, e.g. "sbin/swanctl".
    std::string bundledStrongswan(std::string_view relative) const;
    /// base + "/Resources/dnsmasq/sbin/dnsmasq".
    std::string bundledDnsmasq() const;

private:
    std::string m_base;
};

/// The two variables every swanctl run gets: STRONGSWAN_CONF and SWANCTL_DIR
/// inside the staging root.
EnvironmentOverlay swanctlEnv(const std::string& stagingRoot);

/// True for an existing regular file the caller may execute.
bool isExecutableFile(const std::string& path);

} // namespace torvane

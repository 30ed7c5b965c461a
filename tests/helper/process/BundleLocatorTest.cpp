#include "BundleLocator.h"

#include <filesystem>
#include <fstream>
#include <sys/stat.h>

#include <gtest/gtest.h>

namespace torvane {
namespace {

TEST(BundleLocator, RemovesEveryLaunchServicesFolder) {
    const BundleLocator bundle(
        "/Applications/Torvane.app/Contents/Library/LaunchServices/kv.kelvor.torvanehelper");
    EXPECT_EQ(bundle.baseDirectory(), "/Applications/Torvane.app/Contents");
    EXPECT_EQ(bundle.bundledStrongswan("sbin/swanctl"),
              "/Applications/Torvane.app/Contents/Resources/strongswan/sbin/swanctl");

    const BundleLocator twice("/x/Library/LaunchServices/y/Library/LaunchServices/helper");
    EXPECT_EQ(twice.baseDirectory(), "/x/y");
}

TEST(BundleLocator, InstalledLayout) {
    const BundleLocator installed("/usr/lib/torvane/torvane-helper");
    EXPECT_EQ(installed.bundledStrongswan("libexec/ipsec/charon"),
              "/usr/lib/torvane/Resources/strongswan/libexec/ipsec/charon");
    EXPECT_EQ(installed.bundledStrongswan("etc"), "/usr/lib/torvane/Resources/strongswan/etc");
    EXPECT_EQ(installed.bundledDnsmasq(), "/usr/lib/torvane/Resources/dnsmasq/sbin/dnsmasq");
    EXPECT_EQ(installed.tool("route"), "/usr/lib/torvane/tools/route");
}

TEST(BundleLocator, BuildTreeHoldsTheRealPrograms) {
    const BundleLocator build(std::string(TORVANE_HELPER_DIR) + "/torvane-helper");
    EXPECT_TRUE(isExecutableFile(build.bundledStrongswan("libexec/ipsec/charon")));
    EXPECT_TRUE(isExecutableFile(build.bundledStrongswan("sbin/swanctl")));
    EXPECT_TRUE(isExecutableFile(build.bundledDnsmasq()));
    const auto base = build.bundledStrongswan("etc") + "/strongswan.conf";
    EXPECT_TRUE(std::filesystem::is_regular_file(base)) << base;
}

TEST(BundleLocator, ForThisProcessUsesTheExecutablesFolder) {
    const auto self = std::filesystem::read_symlink("/proc/self/exe");
    EXPECT_EQ(BundleLocator::forThisProcess(nullptr).baseDirectory(), self.parent_path().string());
}

TEST(SwanctlEnv, PointsIntoTheStagingRoot) {
    EXPECT_EQ(swanctlEnv("/run/torvane/run"),
              (EnvironmentOverlay{{"STRONGSWAN_CONF", "/run/torvane/run/strongswan.conf"},
                                  {"SWANCTL_DIR", "/run/torvane/run/swanctl"}}));
}

TEST(IsExecutableFile, OnlyRegularExecutableFiles) {
    const auto folder = std::filesystem::temp_directory_path() / "torvane-locator-test";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    const auto plain = folder / "plain";
    std::ofstream(plain) << "#!/bin/sh\n";
    ::chmod(plain.c_str(), 0644);
    const auto program = folder / "program";
    std::ofstream(program) << "#!/bin/sh\n";
    ::chmod(program.c_str(), 0755);
    std::filesystem::create_symlink(program, folder / "link");

    EXPECT_FALSE(isExecutableFile(plain.string()));
    EXPECT_TRUE(isExecutableFile(program.string()));
    EXPECT_TRUE(isExecutableFile((folder / "link").string()));
    EXPECT_FALSE(isExecutableFile(folder.string()));
    EXPECT_FALSE(isExecutableFile((folder / "missing").string()));
    std::filesystem::remove_all(folder);
}

} // namespace
} // namespace torvane

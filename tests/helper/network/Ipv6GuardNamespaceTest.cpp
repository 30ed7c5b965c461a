// The guard with the real IPv6 switches (SysctlIpv6Control) of a namespace.
// Runs only inside the network namespace that tests/netns/ipv6_guard_netns.sh
// creates (the sysctls are per namespace); skipped anywhere else.
#include "helper/network/Ipv6Guard.h"
#include "helper/platform/linux/SysctlIpv6Control.h"
#include "shared/process/PosixCommandRunner.h"
#include "tests/fakes/FakeFirewall.h"
#include "tests/fakes/FakeRoutes.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace torvane;
using ::testing::Contains;
using ::testing::Not;

namespace {

struct Ipv6State {
    std::string disable, autoconf, acceptRa;
    friend bool operator==(const Ipv6State&, const Ipv6State&) = default;
};

std::string readSysctl(const std::string& device, const std::string& name) {
    std::ifstream file("/proc/sys/net/ipv6/conf/" + device + "/" + name);
    std::string value;
    file >> value;
    return value;
}

/// Every non-loopback device's IPv6 switches.
std::map<std::string, Ipv6State> ipv6States() {
    std::map<std::string, Ipv6State> states;
    for (const auto& entry : std::filesystem::directory_iterator("/sys/class/net")) {
        const std::string device = entry.path().filename().string();
        if (device == "lo") {
            continue;
        }
        states[device] = {readSysctl(device, "disable_ipv6"), readSysctl(device, "autoconf"),
                          readSysctl(device, "accept_ra")};
    }
    return states;
}

bool isUp(const std::string& device) {
    std::ifstream file("/sys/class/net/" + device + "/flags");
    unsigned long flags = 0;
    file >> std::hex >> flags;
    return (flags & 0x1) != 0;
}

} // namespace

TEST(Ipv6GuardInNamespaceTest, FullTunnelHoldsIPv6OffOnEveryDeviceAndRestoresEachMode) {
    if (!std::getenv("TORVANE_TEST_NETNS")) {
        GTEST_SKIP() << "runs inside the namespace tests/netns/ipv6_guard_netns.sh creates";
    }
    PosixCommandRunner runner;
    FakeFirewall firewall;
    SysctlIpv6Control ipv6;
    BundleLocator locator("/nonexistent/torvane-helper");
    std::vector<std::string> log;
    FakeRoutes routes;
    NetworkContext context{runner,
                           routes,
                           firewall,
                           ipv6,
                           locator,
                           "/nonexistent",
                           [&](const std::string& line) { log.push_back(line); },
                           [](const std::string&) {
                           }};
    Ipv6Guard guard(context);

    const auto before = ipv6States();
    ASSERT_GE(before.size(), 3u) << "the script sets up several devices";
    const auto services = guard.allNetworkServiceNames();
    for (const auto& [device, state] : before) {
        EXPECT_EQ(std::count(services.begin(), services.end(), device), isUp(device) ? 1 : 0)
            << device;
    }

    VPNProfile profile;
    profile.preventIPv6Leak = true;
    profile.routes = {"0.0.0.0/0"};
    Tunnel tunnel(profile);
    tunnel.vip = "10.99.0.1";
    tunnel.tun = "ipsec0";
    guard.reconcileIPv6({&tunnel});

    const auto held = ipv6States();
    for (const auto& [device, state] : before) {
        if (isUp(device)) {
            EXPECT_EQ(held.at(device).disable, "1") << device;
        } else {
            EXPECT_EQ(held.at(device), state) << "a disabled service is left alone: " << device;
        }
        const bool hadIPv6 = state.disable == "0";
        const std::string name = device;
        const bool saved =
            std::any_of(guard.savedIPv6Settings().begin(), guard.savedIPv6Settings().end(),
                        [&name](const auto& setting) { return setting.service == name; });
        EXPECT_EQ(saved, hadIPv6 && isUp(device)) << device;
    }

    tunnel.vip.reset();
    tunnel.tun.reset();
    guard.reconcileIPv6({&tunnel});
    EXPECT_EQ(ipv6States(), before);
    EXPECT_FALSE(guard.ipv6LeakPreventionActive());
    EXPECT_THAT(log, Not(Contains(::testing::HasSubstr("FAILED"))));
}

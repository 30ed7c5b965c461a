#include "NetworksetupCommand.h"

#include <gtest/gtest.h>

using namespace torvane::tools;

namespace {

std::string refusal(const std::vector<std::string>& args) {
    const auto parsed = parseNetworksetupArguments(args);
    return parsed ? std::string("accepted") : parsed.error();
}

} // namespace

// The operations and the service list run against real devices in
// networksetup_netns_test.sh; here the refusals and their texts.
TEST(NetworksetupCommandTest, RefusesMalformedOperations) {
    EXPECT_EQ(refusal({}), "no operation given");
    EXPECT_EQ(refusal({"-listnetworkserviceorder", "x"}),
              "-listnetworkserviceorder takes no arguments");
    EXPECT_EQ(refusal({"-setv6linklocal", "eth0"}), "unknown operation -setv6linklocal");
    EXPECT_EQ(refusal({"-getinfo"}), "-getinfo needs a network service");
    EXPECT_EQ(refusal({"-getinfo", ""}), "-getinfo needs a network service");
    EXPECT_EQ(refusal({"-setv6off", "eth0", "eth1"}),
              "-setv6off takes exactly one network service");
    EXPECT_EQ(refusal({"-setdnsservers", "eth0"}),
              "-setdnsservers needs a value list (or \"empty\")");
}

TEST(NetworksetupCommandTest, Ipv6ModesFromAndToTheSysctls) {
    EXPECT_EQ(ipv6ModeName({1, 1, 1}), "Off");
    EXPECT_EQ(ipv6ModeName({0, 1, 1}), "Automatic");
    EXPECT_EQ(ipv6ModeName({0, 1, 2}), "Automatic");
    EXPECT_EQ(ipv6ModeName({0, 0, 1}), "LinkLocal");
    EXPECT_EQ(ipv6ModeName({0, 1, 0}), "LinkLocal");

    EXPECT_EQ(formatServiceInfo("eth0", Ipv6Sysctls{0, 0, 0}), "Device: eth0\nIPv6: LinkLocal\n");
    EXPECT_EQ(formatServiceInfo("eth0", std::nullopt), "Device: eth0\n");

    using Writes = std::vector<std::pair<std::string, std::string>>;
    // A device that already takes advertisements as a router keeps doing so.
    EXPECT_EQ(ipv6SysctlWrites(NetworksetupAction::setV6Automatic, {1, 1, 2}),
              (Writes{{"autoconf", "1"}, {"accept_ra", "2"}, {"disable_ipv6", "0"}}));
    // Each mode written reads back as itself.
    for (const auto& [action, mode] :
         {std::pair{NetworksetupAction::setV6Off, "Off"},
          std::pair{NetworksetupAction::setV6Automatic, "Automatic"},
          std::pair{NetworksetupAction::setV6LinkLocal, "LinkLocal"}}) {
        for (const Ipv6Sysctls& start :
             {Ipv6Sysctls{0, 1, 1}, Ipv6Sysctls{1, 0, 0}, Ipv6Sysctls{0, 0, 2}}) {
            Ipv6Sysctls after = start;
            for (const auto& [name, value] : ipv6SysctlWrites(action, start)) {
                int& field = name == "disable_ipv6" ? after.disableIpv6
                             : name == "autoconf"   ? after.autoconf
                                                    : after.acceptRa;
                field = std::stoi(value);
            }
            EXPECT_EQ(ipv6ModeName(after), mode);
        }
    }
}

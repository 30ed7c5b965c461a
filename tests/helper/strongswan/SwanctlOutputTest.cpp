#include "helper/strongswan/SwanctlOutput.h"

#include <gtest/gtest.h>

namespace torvane {
namespace {

TEST(SwanctlOutputTest, tunnelInfoFromInitiateOutput) {
    EXPECT_EQ(parseTunnelInfo("charon: installing new virtual IP 10.8.0.2\n"
                              "created TUN device: ipsec5\n"),
              (TunnelInfo{"10.8.0.2", "ipsec5"}));
    // Later lines win; trailing blanks are not words.
    EXPECT_EQ(parseTunnelInfo("installing new virtual IP 10.0.0.1\n\n"
                              "created TUN device: ipsec0  \n"
                              "installing new virtual IP 10.0.0.2\r"),
              (TunnelInfo{"10.0.0.2\r", "ipsec0"}));
    EXPECT_EQ(parseTunnelInfo("initiate failed: establishing CHILD_SA 'x' failed"), TunnelInfo{});
    EXPECT_EQ(parseTunnelInfo(""), TunnelInfo{});
}

} // namespace
} // namespace torvane

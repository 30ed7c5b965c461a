#include "RouteOutput.h"

#include <gtest/gtest.h>

namespace torvane {
namespace {

TEST(RouteOutputTest, routeGetTakesTheFirstTunnelInterface) {
    EXPECT_EQ(routeGetInterface("   route to: 10.99.0.1\n"
                                "destination: 10.99.0.1\n"
                                "  interface: ipsec0\n",
                                "ipsec"),
              "ipsec0");
    EXPECT_EQ(routeGetInterface("interface:\tutun5 \n", "utun"), "utun5");
    // An interface of another kind is skipped, not taken.
    EXPECT_EQ(routeGetInterface("interface: eth0\ninterface: ipsec1\n", "ipsec"), "ipsec1");
    EXPECT_EQ(routeGetInterface("interface: eth0\n", "ipsec"), std::nullopt);
    EXPECT_EQ(routeGetInterface("route: writing to routing socket: not in table", "ipsec"),
              std::nullopt);
    EXPECT_EQ(routeGetInterface("interface:\n", ""), std::nullopt);
}

constexpr const char* kNetstat = R"(Routing tables

Internet:
Destination        Gateway            Flags        Netif Expire
default            192.168.1.1        UGScg          en0
10.99.0.1          10.99.0.1          UH           ipsec0
10.99.0.2          10.99.0.2          UHS          ipsec1
127.0.0.1          127.0.0.1          UH           lo0
192.168.1.1/32     link#4             UCS            en0      !
)";

TEST(RouteOutputTest, netstatPicksAHostRouteOfAFreeTunnelInterface) {
    EXPECT_EQ(netstatHostRouteInterface(kNetstat, "ipsec", {}),
              (HostRouteInterface{"ipsec0", "10.99.0.1"}));
    // A second tunnel skips the interface the first one holds.
    EXPECT_EQ(netstatHostRouteInterface(kNetstat, "ipsec", {"ipsec0"}),
              (HostRouteInterface{"ipsec1", "10.99.0.2"}));
    EXPECT_EQ(netstatHostRouteInterface(kNetstat, "ipsec", {"ipsec0", "ipsec1"}), std::nullopt);
}

TEST(RouteOutputTest, netstatLinesThatDoNotQualify) {
    const auto none = std::optional<HostRouteInterface>();
    // Link-layer entry, even on a tunnel interface.
    EXPECT_EQ(netstatHostRouteInterface("10.99.0.1 10.99.0.1 UHLWI ipsec0", "ipsec", {}), none);
    // Not a host route.
    EXPECT_EQ(netstatHostRouteInterface("10.99.0.1 10.99.0.1 US ipsec0", "ipsec", {}), none);
    // Destination differs from gateway.
    EXPECT_EQ(netstatHostRouteInterface("10.99.0.1 10.99.0.9 UH ipsec0", "ipsec", {}), none);
    // Another kind of interface.
    EXPECT_EQ(netstatHostRouteInterface("10.99.0.1 10.99.0.1 UH eth0", "ipsec", {}), none);
    // Too few columns.
    EXPECT_EQ(netstatHostRouteInterface("10.99.0.1 10.99.0.1 UH", "ipsec", {}), none);
    EXPECT_EQ(netstatHostRouteInterface("", "ipsec", {}), none);
}

} // namespace
} // namespace torvane

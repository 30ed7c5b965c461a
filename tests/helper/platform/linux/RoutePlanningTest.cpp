#include "helper/platform/linux/RoutePlanning.h"

#include <linux/rtnetlink.h>
#include <net/if.h>

#include <gtest/gtest.h>

using namespace torvane::netlink;

namespace {

constexpr Ipv4Address kVip = 0x0a630001; // 10.99.0.1

const std::vector<LinkEntry> kLinks = {
    {1, "lo", IFF_UP | IFF_LOOPBACK}, {2, "eth0", IFF_UP}, {3, "ipsec0", IFF_UP}};

RouteEntry defaultRoute(Ipv4Address gateway, std::uint32_t metric, int device = 2) {
    RouteEntry route;
    route.table = RT_TABLE_MAIN;
    route.type = RTN_UNICAST;
    route.gateway = gateway;
    route.metric = metric;
    route.interfaceIndex = device;
    return route;
}

} // namespace

TEST(RoutePlanningTest, FindsTheTunnelHoldingTheVirtualIpRatherThanLoopback) {
    // The same address on lo (listed first) and on the tunnel.
    const std::vector<AddressEntry> addresses = {
        {1, 0x7f000001, 8}, {1, kVip, 32}, {2, 0x0a1f0002, 24}, {3, kVip, 32}};
    EXPECT_EQ(deviceHoldingAddress(addresses, kLinks, kVip), 3);
    EXPECT_EQ(deviceHoldingAddress(addresses, kLinks, 0x7f000001), 1);
    EXPECT_EQ(deviceHoldingAddress(addresses, kLinks, 0x0a1f0001), std::nullopt);
}

TEST(RoutePlanningTest, DefaultRouteIsTheMainTablesBestUsableOne) {
    auto halfDefault = defaultRoute(0, 0, 3);
    halfDefault.gateway.reset();
    halfDefault.destination = {0, 1};
    auto otherTable = defaultRoute(0x0a630002, 0, 3);
    otherTable.table = 220;
    auto dead = defaultRoute(0x0a1f0009, 0);
    dead.nexthopFlags = RTNH_F_DEAD;
    auto blackhole = defaultRoute(0, 0);
    blackhole.type = RTN_BLACKHOLE;
    const auto wired = defaultRoute(0x0a1f0001, 100);
    const auto wireless = defaultRoute(0x0a200001, 600, 4);
    const auto wiredTwin = defaultRoute(0x0a1f0002, 100);

    // A full tunnel's halves, charon's own table and unusable entries never
    // answer; among the rest the lowest metric wins, the first on a tie.
    const auto chosen =
        selectDefaultRoute({halfDefault, otherTable, dead, blackhole, wireless, wired, wiredTwin});
    ASSERT_TRUE(chosen);
    EXPECT_EQ(chosen->gateway, 0x0a1f0001u);

    EXPECT_FALSE(selectDefaultRoute({halfDefault, otherTable, dead}));
    EXPECT_FALSE(selectDefaultRoute({}));
}

TEST(RoutePlanningTest, NamesDevicesTheRoutingTableCannotFind) {
    EXPECT_EQ(interfaceNameByIndex(kLinks, 2), "eth0");
    EXPECT_EQ(interfaceNameByIndex(kLinks, 0), "-");
    EXPECT_EQ(interfaceNameByIndex(kLinks, 9), "if9");
}

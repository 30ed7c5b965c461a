#include "helper/platform/linux/Ipv4Prefix.h"

#include <gtest/gtest.h>

using namespace torvane::netlink;

namespace {

constexpr Ipv4Address address(unsigned a, unsigned b, unsigned c, unsigned d) {
    return (a << 24) | (b << 16) | (c << 8) | d;
}

} // namespace

TEST(Ipv4PrefixTest, ParsesNetworksAndBareAddresses) {
    EXPECT_EQ(parseIpv4Prefix("10.1.0.0/16"), (Ipv4Prefix{address(10, 1, 0, 0), 16}));
    EXPECT_EQ(parseIpv4Prefix("0.0.0.0/0"), (Ipv4Prefix{0, 0}));
    EXPECT_EQ(parseIpv4Prefix("128.0.0.0/1"), (Ipv4Prefix{address(128, 0, 0, 0), 1}));
    // A bare address is a host route, as routes and traffic selectors may
    // name single hosts.
    EXPECT_EQ(parseIpv4Prefix("192.0.2.7"), (Ipv4Prefix{address(192, 0, 2, 7), 32}));
    EXPECT_EQ(parseIpv4Prefix("192.0.2.7/32"), (Ipv4Prefix{address(192, 0, 2, 7), 32}));
}

TEST(Ipv4PrefixTest, ClearsHostBitsSoAddAndDeleteAgree) {
    EXPECT_EQ(parseIpv4Prefix("10.1.2.3/16"), (Ipv4Prefix{address(10, 1, 0, 0), 16}));
    EXPECT_EQ(parseIpv4Prefix("255.255.255.255/1"), (Ipv4Prefix{address(128, 0, 0, 0), 1}));
    EXPECT_EQ(parseIpv4Prefix("10.1.2.3/0"), (Ipv4Prefix{0, 0}));
}

TEST(Ipv4PrefixTest, RefusesAnythingAmbiguousOrMalformed) {
    for (const char* text :
         {"", "10.1", "10.0.0", "0x0a.0.0.1", "10.0.0.256", "10.0.0.1/33", "10.0.0.1/", "/8",
          "10.0.0.1/08", "10.0.0.1/+8", "10.0.0.1/-1", " 10.0.0.1", "10.0.0.1 ", "10.0.0.1/8/8",
          "10.0.0.0/8,10.1.0.0/16", "::1", "fe80::/10", "10.0.0.1/8 "}) {
        EXPECT_FALSE(parseIpv4Prefix(text)) << text;
    }
}

TEST(Ipv4PrefixTest, FormatsHostRoutesBare) {
    EXPECT_EQ(formatIpv4Prefix({address(10, 1, 0, 0), 16}), "10.1.0.0/16");
    EXPECT_EQ(formatIpv4Prefix({address(10, 99, 0, 1), 32}), "10.99.0.1");
    EXPECT_EQ(formatIpv4Prefix({0, 0}), "0.0.0.0/0");
    EXPECT_EQ(prefixMask(0), 0u);
    EXPECT_EQ(prefixMask(17), address(255, 255, 128, 0));
    EXPECT_EQ(prefixMask(32), address(255, 255, 255, 255));
}

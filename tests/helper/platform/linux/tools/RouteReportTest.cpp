#include "RouteReport.h"

#include "RouteRequest.h"
#include "RoutingTableReport.h"

#include <linux/rtnetlink.h>
#include <net/if.h>
#include <sstream>

#include <gtest/gtest.h>

using namespace torvane::tools;
using namespace torvane::netlink;

namespace {

const std::vector<LinkEntry> kLinks = {
    {1, "lo", IFF_UP | IFF_LOOPBACK}, {2, "eth0", IFF_UP}, {3, "ipsec0", IFF_UP}};

RouteEntry route(Ipv4Prefix destination, std::optional<Ipv4Address> gateway, int device,
                 std::uint8_t protocol = RTPROT_KERNEL, std::uint32_t table = RT_TABLE_MAIN,
                 std::uint8_t type = RTN_UNICAST) {
    RouteEntry entry;
    entry.destination = destination;
    entry.gateway = gateway;
    entry.interfaceIndex = device;
    entry.protocol = protocol;
    entry.table = table;
    entry.type = type;
    return entry;
}

std::vector<std::string> words(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> pieces;
    for (std::string piece; in >> piece;) {
        pieces.push_back(piece);
    }
    return pieces;
}

} // namespace

TEST(RouteReportTest, RouteGetForTheDefaultRouteNamesGatewayAndInterface) {
    RouteGetReport report{"default", route({0, 0}, 0x0a1f0001, 2, RTPROT_BOOT), "eth0"};
    EXPECT_EQ(formatRouteGet(report), "   route to: default\n"
                                      "destination: default\n"
                                      "       mask: default\n"
                                      "    gateway: 10.31.0.1\n"
                                      "  interface: eth0\n"
                                      "      flags: <UP,GATEWAY,STATIC>\n");
}

// The flags of ordinary rows are in the routing table report below.
TEST(RouteReportTest, FlagsFollowTheRoutesProperties) {
    EXPECT_EQ(routeFlagLetters(route({0x0a000000, 8}, std::nullopt, 3, RTPROT_STATIC)), "US");
    EXPECT_EQ(routeFlagLetters(route({0x0a000000, 8}, std::nullopt, 3, RTPROT_DHCP)), "U");
    EXPECT_EQ(routeFlagLetters(route({0x0a000000, 8}, std::nullopt, 0, RTPROT_BOOT, RT_TABLE_MAIN,
                                     RTN_UNREACHABLE)),
              "RS");
    auto dead = route({0x0a000000, 8}, std::nullopt, 2);
    dead.nexthopFlags = RTNH_F_DEAD;
    EXPECT_EQ(routeFlagLetters(dead), "");
}

TEST(RouteReportTest, DescribesChangesAndFailures) {
    RouteCommand add;
    add.action = RouteAction::add;
    add.target = RouteTarget::network;
    add.destination = "10.1.2.3/16";
    EXPECT_EQ(describeRouteChange(add, "10.1.0.0/16", "10.99.0.1"),
              "add net 10.1.0.0/16: gateway 10.99.0.1");
    add.interfaceName = "ipsec0";
    EXPECT_EQ(describeRouteChange(add, "10.1.0.0/16", ""), "add net 10.1.0.0/16: interface ipsec0");

    RouteCommand host;
    host.action = RouteAction::remove;
    host.target = RouteTarget::host;
    host.destination = "vpn.example.org";
    EXPECT_EQ(describeRouteChange(host, "192.0.2.7", ""),
              "delete host 192.0.2.7 (vpn.example.org)");
    host.destination = "192.0.2.7";
    EXPECT_EQ(describeRouteChange(host, "192.0.2.7", ""), "delete host 192.0.2.7");

    EXPECT_EQ(describeRouteFailure(ESRCH), "not in table");
    EXPECT_EQ(describeRouteFailure(EEXIST), "File exists");
}

TEST(RoutingTableReportTest, ShowsTheMainTableAndLocalAddressesMarkedLocal) {
    const std::vector<RouteEntry> routes = {
        route({0x0a1f0000, 24}, std::nullopt, 2),
        route({0x0a630001, 32}, std::nullopt, 3, RTPROT_KERNEL, RT_TABLE_LOCAL, RTN_LOCAL),
        route({0x0a1f00ff, 32}, std::nullopt, 2, RTPROT_KERNEL, RT_TABLE_LOCAL, RTN_BROADCAST),
        route({0x7f000000, 8}, std::nullopt, 1, RTPROT_KERNEL, RT_TABLE_LOCAL, RTN_LOCAL),
        route({0x0a010000, 16}, std::nullopt, 3, kTorvaneRouteProtocol, 220),
        route({0x0a010000, 16}, std::nullopt, 3, kTorvaneRouteProtocol),
        route({0xc0000207, 32}, 0x0a1f0001, 2, kTorvaneRouteProtocol),
        route({0, 0}, 0x0a1f0001, 2, RTPROT_DHCP),
        route({0x0a000000, 8}, std::nullopt, 0, RTPROT_BOOT, RT_TABLE_MAIN, RTN_BLACKHOLE),
    };
    const auto rows = routingTableRows(routes, kLinks);
    const std::vector<RoutingTableRow> expected = {
        {"default", "10.31.0.1", "UG", "eth0"},    {"10.0.0.0/8", "-", "BS", "-"},
        {"10.1.0.0/16", "link#3", "US", "ipsec0"}, {"10.31.0.0/24", "link#2", "U", "eth0"},
        {"10.99.0.1", "link#3", "UHL", "ipsec0"},  {"192.0.2.7", "10.31.0.1", "UGHS", "eth0"},
    };
    EXPECT_EQ(rows, expected);
}

TEST(RoutingTableReportTest, EveryRowSplitsIntoFourColumns) {
    auto dead = route({0x0a000000, 8}, std::nullopt, 0);
    dead.nexthopFlags = RTNH_F_DEAD;
    const auto longest = route({0xffffff00, 31}, 0xfffffffe, 2);
    const auto text = formatRoutingTable(routingTableRows({dead, longest}, kLinks));
    std::istringstream in(text);
    std::vector<std::vector<std::string>> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(words(line));
    }
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0], (std::vector<std::string>{"Routing", "tables"}));
    EXPECT_EQ(lines[2], (std::vector<std::string>{"Internet:"}));
    EXPECT_EQ(lines[3], (std::vector<std::string>{"Destination", "Gateway", "Flags", "Netif"}));
    EXPECT_EQ(lines[4], (std::vector<std::string>{"10.0.0.0/8", "-", "-", "-"}));
    EXPECT_EQ(lines[5],
              (std::vector<std::string>{"255.255.255.0/31", "255.255.255.254", "UG", "eth0"}));
    // Columns are separated by spaces only: the daemon splits on single spaces.
    EXPECT_EQ(text.find('\t'), std::string::npos);
}

#include "helper/platform/linux/NetlinkMessages.h"

#include <arpa/inet.h>
#include <cstring>
#include <libmnl/libmnl.h>
#include <linux/rtnetlink.h>

#include <gtest/gtest.h>

using namespace torvane::netlink;

namespace {

constexpr Ipv4Address kGateway = 0x0a1f0001; // 10.31.0.1

/// A route message as the kernel sends it, built attribute by attribute.
class RouteMessage {
public:
    explicit RouteMessage(std::uint8_t family = AF_INET, std::uint8_t length = 16)
        : m_bytes(1024, 0) {
        m_message = mnl_nlmsg_put_header(m_bytes.data());
        m_message->nlmsg_type = RTM_NEWROUTE;
        auto* rtm = static_cast<rtmsg*>(mnl_nlmsg_put_extra_header(m_message, sizeof(rtmsg)));
        rtm->rtm_family = family;
        rtm->rtm_dst_len = length;
        rtm->rtm_table = RT_TABLE_MAIN;
        rtm->rtm_type = RTN_UNICAST;
        rtm->rtm_protocol = RTPROT_BOOT;
    }
    RouteMessage& u32(std::uint16_t type, std::uint32_t value) {
        mnl_attr_put_u32(m_message, type, value);
        return *this;
    }
    RouteMessage& address(std::uint16_t type, Ipv4Address value) { return u32(type, htonl(value)); }
    RouteMessage& raw(std::uint16_t type, const void* data, std::size_t size) {
        mnl_attr_put(m_message, type, size, data);
        return *this;
    }
    /// An RTA_MULTIPATH attribute with one (device, gateway) per hop.
    RouteMessage& multipath(const std::vector<std::pair<int, Ipv4Address>>& hops) {
        nlattr* nest = mnl_attr_nest_start(m_message, RTA_MULTIPATH);
        for (const auto& [device, gateway] : hops) {
            auto* hop = static_cast<rtnexthop*>(mnl_nlmsg_get_payload_tail(m_message));
            std::memset(hop, 0, sizeof *hop);
            m_message->nlmsg_len += RTNH_ALIGN(sizeof(rtnexthop));
            mnl_attr_put_u32(m_message, RTA_GATEWAY, htonl(gateway));
            hop->rtnh_len = static_cast<unsigned short>(
                static_cast<char*>(mnl_nlmsg_get_payload_tail(m_message)) -
                reinterpret_cast<char*>(hop));
            hop->rtnh_ifindex = device;
        }
        mnl_attr_nest_end(m_message, nest);
        return *this;
    }
    nlmsghdr& message() { return *m_message; }
    rtmsg& header() { return *static_cast<rtmsg*>(mnl_nlmsg_get_payload(m_message)); }

private:
    std::vector<char> m_bytes;
    nlmsghdr* m_message;
};

} // namespace

// The requests themselves (ownership, no replacing, any scope on delete) are
// proved against the kernel by tools_netns_test.sh; here, what comes back.
TEST(NetlinkMessagesTest, DecodesKernelRoutesIncludingMultipath) {
    RouteMessage plain(AF_INET, 0);
    plain.address(RTA_GATEWAY, kGateway)
        .u32(RTA_OIF, 2)
        .u32(RTA_PRIORITY, 100)
        .u32(RTA_TABLE, RT_TABLE_MAIN);
    const auto single = decodeRoute(plain.message());
    ASSERT_EQ(single.size(), 1u);
    EXPECT_EQ(single[0].destination, (Ipv4Prefix{0, 0}));
    EXPECT_EQ(single[0].gateway, kGateway);
    EXPECT_EQ(single[0].interfaceIndex, 2);
    EXPECT_EQ(single[0].metric, 100u);
    EXPECT_EQ(single[0].protocol, RTPROT_BOOT);

    // The kernel may report a destination with host bits; the table key is
    // the network.
    RouteMessage sloppy;
    sloppy.address(RTA_DST, 0x0a0102ff);
    EXPECT_EQ(decodeRoute(sloppy.message()).at(0).destination, (Ipv4Prefix{0x0a010000, 16}));

    // RTA_TABLE wins over the 8-bit header field, which cannot hold ids
    // above 255.
    RouteMessage bigTable;
    bigTable.u32(RTA_TABLE, 1000);
    EXPECT_EQ(decodeRoute(bigTable.message()).at(0).table, 1000u);

    RouteMessage spread(AF_INET, 0);
    spread.multipath({{2, kGateway}, {3, kGateway + 1}});
    const auto hops = decodeRoute(spread.message());
    ASSERT_EQ(hops.size(), 2u);
    EXPECT_EQ(hops[0].interfaceIndex, 2);
    EXPECT_EQ(hops[0].gateway, kGateway);
    EXPECT_EQ(hops[1].interfaceIndex, 3);
    EXPECT_EQ(hops[1].gateway, kGateway + 1);
}

TEST(NetlinkMessagesTest, RejectsRoutesItCannotTrust) {
    EXPECT_TRUE(decodeRoute(RouteMessage(AF_INET6, 64).message()).empty());
    EXPECT_TRUE(decodeRoute(RouteMessage(AF_INET, 33).message()).empty());

    const std::uint16_t shortValue = 1;
    RouteMessage shortGateway;
    shortGateway.raw(RTA_GATEWAY, &shortValue, sizeof shortValue);
    EXPECT_TRUE(decodeRoute(shortGateway.message()).empty());

    const std::uint64_t longValue = 1;
    RouteMessage longInterface;
    longInterface.raw(RTA_OIF, &longValue, sizeof longValue);
    EXPECT_TRUE(decodeRoute(longInterface.message()).empty());

    RouteMessage wrongType;
    wrongType.message().nlmsg_type = RTM_NEWADDR;
    EXPECT_TRUE(decodeRoute(wrongType.message()).empty());

    RouteMessage truncated;
    truncated.message().nlmsg_len = NLMSG_HDRLEN + sizeof(rtmsg) - 1;
    EXPECT_TRUE(decodeRoute(truncated.message()).empty());

    // A next hop claiming more bytes than the attribute holds.
    RouteMessage overlong(AF_INET, 0);
    overlong.multipath({{2, kGateway}});
    auto* nest =
        static_cast<nlattr*>(mnl_nlmsg_get_payload_offset(&overlong.message(), sizeof(rtmsg)));
    static_cast<rtnexthop*>(mnl_attr_get_payload(nest))->rtnh_len = 200;
    EXPECT_TRUE(decodeRoute(overlong.message()).empty());
}

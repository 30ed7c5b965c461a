#include "helper/platform/linux/NetlinkMessages.h"

#include <arpa/inet.h>
#include <array>
#include <cstring>
#include <libmnl/libmnl.h>
#include <limits>
#include <linux/fib_rules.h>
#include <linux/if_addr.h>
#include <linux/if_link.h>
#include <linux/rtnetlink.h>
#include <net/if.h>

namespace torvane::netlink {

namespace {

// Large enough for the biggest request built here (a route change carries
// at most four small attributes).
constexpr std::size_t kRequestCapacity = 256;

template <class Header>
Header* startRequest(NetlinkRequest& buffer, std::uint16_t type, std::uint16_t flags) {
    buffer.assign(kRequestCapacity, 0);
    nlmsghdr* message = mnl_nlmsg_put_header(buffer.data());
    message->nlmsg_type = type;
    message->nlmsg_flags = flags;
    return static_cast<Header*>(mnl_nlmsg_put_extra_header(message, sizeof(Header)));
}

void finishRequest(NetlinkRequest& buffer) {
    const auto* message = reinterpret_cast<const nlmsghdr*>(buffer.data());
    buffer.resize(message->nlmsg_len);
}

nlmsghdr* header(NetlinkRequest& buffer) {
    return reinterpret_cast<nlmsghdr*>(buffer.data());
}

void putAddress(nlmsghdr* message, std::uint16_t type, Ipv4Address address) {
    mnl_attr_put_u32(message, type, htonl(address));
}

NetlinkRequest buildRouteChange(std::uint16_t type, std::uint16_t flags, const RouteRequest& route,
                                bool adding) {
    NetlinkRequest buffer;
    auto* rtm = startRequest<rtmsg>(buffer, type, flags);
    rtm->rtm_family = AF_INET;
    rtm->rtm_dst_len = route.destination.length;
    rtm->rtm_table = RT_TABLE_MAIN;
    rtm->rtm_protocol = kTorvaneRouteProtocol;
    // For a delete, "nowhere" and an unspecified type match any scope and
    // type; the protocol is what keeps foreign routes out of reach.
    rtm->rtm_scope = adding ? route.scope : static_cast<std::uint8_t>(RT_SCOPE_NOWHERE);
    rtm->rtm_type = static_cast<unsigned char>(adding ? RTN_UNICAST : RTN_UNSPEC);
    nlmsghdr* message = header(buffer);
    if (route.destination.length > 0) {
        putAddress(message, RTA_DST, route.destination.address);
    }
    if (route.gateway) {
        putAddress(message, RTA_GATEWAY, *route.gateway);
    }
    if (route.interfaceIndex > 0) {
        mnl_attr_put_u32(message, RTA_OIF, static_cast<std::uint32_t>(route.interfaceIndex));
    }
    if (route.preferredSource) {
        putAddress(message, RTA_PREFSRC, *route.preferredSource);
    }
    finishRequest(buffer);
    return buffer;
}

/// Attributes of one message indexed by type; later duplicates win, as in
/// the kernel's own parser.
template <std::size_t Max> struct AttributeTable { std::array<const nlattr*, Max + 1> byType{}; };

template <std::size_t Max> int collectAttribute(const nlattr* attribute, void* data) {
    auto* table = static_cast<AttributeTable<Max>*>(data);
    const auto type = mnl_attr_get_type(attribute);
    if (type <= Max) {
        table->byType[type] = attribute;
    }
    return MNL_CB_OK;
}

template <std::size_t Max>
std::optional<AttributeTable<Max>> parseAttributes(const nlmsghdr& message, std::size_t offset) {
    AttributeTable<Max> table;
    if (mnl_attr_parse(&message, static_cast<unsigned>(offset), collectAttribute<Max>, &table) <
        0) {
        return std::nullopt;
    }
    return table;
}

/// A fixed 32-bit payload, read without assuming alignment.
std::optional<std::uint32_t> readU32(const nlattr* attribute) {
    if (attribute == nullptr || mnl_attr_get_payload_len(attribute) != sizeof(std::uint32_t)) {
        return std::nullopt;
    }
    std::uint32_t value = 0;
    std::memcpy(&value, mnl_attr_get_payload(attribute), sizeof value);
    return value;
}

std::optional<Ipv4Address> readAddress(const nlattr* attribute) {
    const auto raw = readU32(attribute);
    if (!raw) {
        return std::nullopt;
    }
    return ntohl(*raw);
}

bool wrongSize(const nlattr* attribute) {
    return attribute != nullptr && mnl_attr_get_payload_len(attribute) != sizeof(std::uint32_t);
}

/// The next hops of an RTA_MULTIPATH attribute: a packed run of rtnexthop
/// headers, each followed by its own attributes. Returns false when the run
/// is malformed.
bool decodeNexthops(const nlattr& multipath, const RouteEntry& base,
                    std::vector<RouteEntry>& entries) {
    const auto* bytes = static_cast<const unsigned char*>(mnl_attr_get_payload(&multipath));
    std::size_t remaining = mnl_attr_get_payload_len(&multipath);
    std::size_t offset = 0;
    while (remaining >= sizeof(rtnexthop)) {
        rtnexthop hop{};
        std::memcpy(&hop, bytes + offset, sizeof hop);
        if (hop.rtnh_len < sizeof(rtnexthop) || hop.rtnh_len > remaining) {
            return false;
        }
        RouteEntry entry = base;
        entry.interfaceIndex = hop.rtnh_ifindex;
        entry.nexthopFlags = hop.rtnh_flags;
        // The hop's own attributes: only RTA_GATEWAY matters here.
        std::size_t inner = RTNH_ALIGN(sizeof(rtnexthop));
        while (inner + sizeof(nlattr) <= hop.rtnh_len) {
            nlattr attribute{};
            std::memcpy(&attribute, bytes + offset + inner, sizeof attribute);
            if (attribute.nla_len < sizeof(nlattr) || attribute.nla_len > hop.rtnh_len - inner) {
                return false;
            }
            if ((attribute.nla_type & NLA_TYPE_MASK) == RTA_GATEWAY) {
                if (attribute.nla_len != sizeof(nlattr) + sizeof(std::uint32_t)) {
                    return false;
                }
                std::uint32_t raw = 0;
                std::memcpy(&raw, bytes + offset + inner + sizeof(nlattr), sizeof raw);
                entry.gateway = ntohl(raw);
            }
            inner += NLA_ALIGN(attribute.nla_len);
        }
        entries.push_back(entry);
        const std::size_t step = RTNH_ALIGN(hop.rtnh_len);
        if (step >= remaining) {
            break;
        }
        offset += step;
        remaining -= step;
    }
    return true;
}

} // namespace

NetlinkRequest buildRouteDump() {
    NetlinkRequest buffer;
    auto* rtm = startRequest<rtmsg>(buffer, RTM_GETROUTE, NLM_F_REQUEST | NLM_F_DUMP);
    rtm->rtm_family = AF_INET;
    finishRequest(buffer);
    return buffer;
}

NetlinkRequest buildAddressDump() {
    NetlinkRequest buffer;
    auto* ifa = startRequest<ifaddrmsg>(buffer, RTM_GETADDR, NLM_F_REQUEST | NLM_F_DUMP);
    ifa->ifa_family = AF_INET;
    finishRequest(buffer);
    return buffer;
}

NetlinkRequest buildLinkDump() {
    NetlinkRequest buffer;
    auto* ifi = startRequest<ifinfomsg>(buffer, RTM_GETLINK, NLM_F_REQUEST | NLM_F_DUMP);
    ifi->ifi_family = AF_UNSPEC;
    finishRequest(buffer);
    return buffer;
}

NetlinkRequest buildRouteAdd(const RouteRequest& route) {
    return buildRouteChange(RTM_NEWROUTE, NLM_F_REQUEST | NLM_F_ACK | NLM_F_CREATE | NLM_F_EXCL,
                            route, true);
}

NetlinkRequest buildRouteDelete(const RouteRequest& route) {
    return buildRouteChange(RTM_DELROUTE, NLM_F_REQUEST | NLM_F_ACK, route, false);
}

NetlinkRequest buildRouteDeleteExact(const RouteEntry& route) {
    NetlinkRequest buffer;
    auto* rtm = startRequest<rtmsg>(buffer, RTM_DELROUTE, NLM_F_REQUEST | NLM_F_ACK);
    rtm->rtm_family = AF_INET;
    rtm->rtm_dst_len = route.destination.length;
    rtm->rtm_table = route.table < 256 ? static_cast<unsigned char>(route.table)
                                       : static_cast<unsigned char>(RT_TABLE_UNSPEC);
    rtm->rtm_protocol = route.protocol;
    rtm->rtm_scope = RT_SCOPE_NOWHERE;
    rtm->rtm_type = route.type;
    nlmsghdr* message = header(buffer);
    mnl_attr_put_u32(message, RTA_TABLE, route.table);
    if (route.destination.length > 0) {
        putAddress(message, RTA_DST, route.destination.address);
    }
    if (route.gateway) {
        putAddress(message, RTA_GATEWAY, *route.gateway);
    }
    if (route.interfaceIndex > 0) {
        mnl_attr_put_u32(message, RTA_OIF, static_cast<std::uint32_t>(route.interfaceIndex));
    }
    mnl_attr_put_u32(message, RTA_PRIORITY, route.metric);
    finishRequest(buffer);
    return buffer;
}

NetlinkRequest buildRuleDelete(std::uint8_t family, std::uint32_t priority, std::uint32_t table) {
    NetlinkRequest buffer;
    auto* rule = startRequest<fib_rule_hdr>(buffer, RTM_DELRULE, NLM_F_REQUEST | NLM_F_ACK);
    rule->family = family;
    rule->table =
        table < 256 ? static_cast<std::uint8_t>(table) : static_cast<std::uint8_t>(RT_TABLE_UNSPEC);
    nlmsghdr* message = header(buffer);
    mnl_attr_put_u32(message, FRA_PRIORITY, priority);
    mnl_attr_put_u32(message, FRA_TABLE, table);
    finishRequest(buffer);
    return buffer;
}

NetlinkRequest buildRouteLookup(Ipv4Address destination) {
    NetlinkRequest buffer;
    auto* rtm = startRequest<rtmsg>(buffer, RTM_GETROUTE, NLM_F_REQUEST | NLM_F_ACK);
    rtm->rtm_family = AF_INET;
    rtm->rtm_dst_len = 32;
    rtm->rtm_flags = RTM_F_FIB_MATCH;
    putAddress(header(buffer), RTA_DST, destination);
    finishRequest(buffer);
    return buffer;
}

bool messageFits(const nlmsghdr* message, std::size_t remaining) {
    return remaining >= sizeof(nlmsghdr) && message->nlmsg_len >= sizeof(nlmsghdr) &&
           message->nlmsg_len <= remaining;
}

const nlmsghdr* nextMessage(const nlmsghdr* message, std::size_t& remaining) {
    const std::size_t step = NLMSG_ALIGN(message->nlmsg_len);
    if (step >= remaining) {
        remaining = 0;
        return nullptr;
    }
    remaining -= step;
    return reinterpret_cast<const nlmsghdr*>(reinterpret_cast<const char*>(message) + step);
}

std::vector<RouteEntry> decodeRoute(const nlmsghdr& message) {
    if ((message.nlmsg_type != RTM_NEWROUTE && message.nlmsg_type != RTM_DELROUTE) ||
        message.nlmsg_len < NLMSG_HDRLEN || mnl_nlmsg_get_payload_len(&message) < sizeof(rtmsg)) {
        return {};
    }
    rtmsg rtm{};
    std::memcpy(&rtm, mnl_nlmsg_get_payload(&message), sizeof rtm);
    if (rtm.rtm_family != AF_INET || rtm.rtm_dst_len > 32) {
        return {};
    }
    const auto attributes = parseAttributes<RTA_MAX>(message, sizeof(rtmsg));
    if (!attributes) {
        return {};
    }
    const auto& at = attributes->byType;
    for (const int type : {RTA_DST, RTA_GATEWAY, RTA_PREFSRC, RTA_OIF, RTA_PRIORITY, RTA_TABLE}) {
        if (wrongSize(at[type])) {
            return {};
        }
    }

    RouteEntry base;
    base.destination.length = rtm.rtm_dst_len;
    base.destination.address = readAddress(at[RTA_DST]).value_or(0) & prefixMask(rtm.rtm_dst_len);
    base.table = readU32(at[RTA_TABLE]).value_or(rtm.rtm_table);
    base.type = rtm.rtm_type;
    base.protocol = rtm.rtm_protocol;
    base.scope = rtm.rtm_scope;
    base.gateway = readAddress(at[RTA_GATEWAY]);
    base.interfaceIndex = static_cast<int>(readU32(at[RTA_OIF]).value_or(0));
    base.preferredSource = readAddress(at[RTA_PREFSRC]);
    base.metric = readU32(at[RTA_PRIORITY]).value_or(0);
    base.nexthopFlags = rtm.rtm_flags & 0xffu;

    std::vector<RouteEntry> entries;
    if (at[RTA_MULTIPATH] != nullptr) {
        if (!decodeNexthops(*at[RTA_MULTIPATH], base, entries)) {
            return {};
        }
    }
    if (entries.empty()) {
        entries.push_back(base);
    }
    return entries;
}

std::optional<AddressEntry> decodeAddress(const nlmsghdr& message) {
    if ((message.nlmsg_type != RTM_NEWADDR && message.nlmsg_type != RTM_DELADDR) ||
        message.nlmsg_len < NLMSG_HDRLEN ||
        mnl_nlmsg_get_payload_len(&message) < sizeof(ifaddrmsg)) {
        return std::nullopt;
    }
    ifaddrmsg ifa{};
    std::memcpy(&ifa, mnl_nlmsg_get_payload(&message), sizeof ifa);
    if (ifa.ifa_family != AF_INET || ifa.ifa_prefixlen > 32) {
        return std::nullopt;
    }
    const auto attributes = parseAttributes<IFA_MAX>(message, sizeof(ifaddrmsg));
    if (!attributes) {
        return std::nullopt;
    }
    const auto& at = attributes->byType;
    if (wrongSize(at[IFA_LOCAL]) || wrongSize(at[IFA_ADDRESS])) {
        return std::nullopt;
    }
    // On a point-to-point device IFA_ADDRESS is the peer; the address held
    // locally is IFA_LOCAL.
    auto address = readAddress(at[IFA_LOCAL]);
    if (!address) {
        address = readAddress(at[IFA_ADDRESS]);
    }
    // A device index is a positive int everywhere else; a larger one is
    // not a device.
    if (!address || ifa.ifa_index == 0 ||
        ifa.ifa_index > static_cast<std::uint32_t>(std::numeric_limits<int>::max())) {
        return std::nullopt;
    }
    return AddressEntry{static_cast<int>(ifa.ifa_index), *address, ifa.ifa_prefixlen};
}

std::optional<LinkEntry> decodeLink(const nlmsghdr& message) {
    if ((message.nlmsg_type != RTM_NEWLINK && message.nlmsg_type != RTM_DELLINK) ||
        message.nlmsg_len < NLMSG_HDRLEN ||
        mnl_nlmsg_get_payload_len(&message) < sizeof(ifinfomsg)) {
        return std::nullopt;
    }
    ifinfomsg ifi{};
    std::memcpy(&ifi, mnl_nlmsg_get_payload(&message), sizeof ifi);
    const auto attributes = parseAttributes<IFLA_MAX>(message, sizeof(ifinfomsg));
    if (!attributes || ifi.ifi_index <= 0) {
        return std::nullopt;
    }
    const nlattr* name = attributes->byType[IFLA_IFNAME];
    if (name == nullptr) {
        return std::nullopt;
    }
    const auto* text = static_cast<const char*>(mnl_attr_get_payload(name));
    const std::size_t length = strnlen(text, mnl_attr_get_payload_len(name));
    if (length == 0 || length >= IFNAMSIZ) {
        return std::nullopt;
    }
    return LinkEntry{ifi.ifi_index, std::string(text, length), ifi.ifi_flags};
}

} // namespace torvane::netlink

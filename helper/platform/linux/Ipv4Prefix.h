#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace torvane::netlink {

/// An IPv4 address in host byte order, so that masks and ordering are plain
/// integer operations. Conversion to and from the wire happens only in the
/// netlink codec.
using Ipv4Address = std::uint32_t;

/// An IPv4 network: an address with its host bits cleared and a prefix length
/// of 0 to 32.
struct Ipv4Prefix {
    Ipv4Address address = 0;
    std::uint8_t length = 0;

    friend bool operator==(const Ipv4Prefix&, const Ipv4Prefix&) = default;
};

/// The netmask of a prefix length (0 to 32).
Ipv4Address prefixMask(std::uint8_t length);

/// Parses a dotted quad ("10.0.0.1"). Shorthand forms ("10.1", "0x0a.0.0.1")
/// are refused: a route command must never guess which address was meant.
std::optional<Ipv4Address> parseIpv4Address(std::string_view text);

/// Parses "A.B.C.D/N" or a bare address, which stands for a /32. Host bits
/// beyond the prefix are cleared, so "10.1.2.3/16" is 10.1.0.0/16 for adding
/// and deleting alike.
std::optional<Ipv4Prefix> parseIpv4Prefix(std::string_view text);

std::string formatIpv4Address(Ipv4Address address);

/// "A.B.C.D/N"; a /32 as the bare address.
std::string formatIpv4Prefix(const Ipv4Prefix& prefix);

} // namespace torvane::netlink

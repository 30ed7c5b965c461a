#include "helper/platform/linux/Ipv4Prefix.h"

#include <arpa/inet.h>
#include <charconv>

namespace torvane::netlink {

Ipv4Address prefixMask(std::uint8_t length) {
    if (length == 0) {
        return 0;
    }
    if (length >= 32) {
        return 0xffffffffu;
    }
    return ~((Ipv4Address{1} << (32 - length)) - 1);
}

std::optional<Ipv4Address> parseIpv4Address(std::string_view text) {
    // inet_pton accepts exactly the four-part decimal form, unlike inet_aton.
    if (text.empty() || text.size() > 15) {
        return std::nullopt;
    }
    const std::string terminated(text);
    in_addr address{};
    if (inet_pton(AF_INET, terminated.c_str(), &address) != 1) {
        return std::nullopt;
    }
    return ntohl(address.s_addr);
}

std::optional<Ipv4Prefix> parseIpv4Prefix(std::string_view text) {
    const auto slash = text.find('/');
    const auto address = parseIpv4Address(text.substr(0, slash));
    if (!address) {
        return std::nullopt;
    }
    if (slash == std::string_view::npos) {
        return Ipv4Prefix{*address, 32};
    }
    const auto digits = text.substr(slash + 1);
    // from_chars would take "+8" or " 8" as errors anyway; leading zeros and
    // lengths like "008" are refused as well so that every accepted text has
    // one meaning.
    if (digits.empty() || digits.size() > 2 || (digits.size() == 2 && digits[0] == '0')) {
        return std::nullopt;
    }
    unsigned length = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), length);
    if (error != std::errc{} || end != digits.data() + digits.size() || length > 32) {
        return std::nullopt;
    }
    const auto bits = static_cast<std::uint8_t>(length);
    return Ipv4Prefix{*address & prefixMask(bits), bits};
}

std::string formatIpv4Address(Ipv4Address address) {
    in_addr raw{};
    raw.s_addr = htonl(address);
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &raw, text, sizeof text);
    return text;
}

std::string formatIpv4Prefix(const Ipv4Prefix& prefix) {
    if (prefix.length == 32) {
        return formatIpv4Address(prefix.address);
    }
    return formatIpv4Address(prefix.address) + "/" + std::to_string(prefix.length);
}

} // namespace torvane::netlink

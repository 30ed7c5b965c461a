#pragma once

#include "helper/platform/linux/Ipv4Prefix.h"

#include <cstdint>

namespace torvane::netlink {

/// One IPv4 address configured on a device.
struct AddressEntry {
    int interfaceIndex = 0;
    Ipv4Address address = 0;
    std::uint8_t prefixLength = 0;

    friend bool operator==(const AddressEntry&, const AddressEntry&) = default;
};

} // namespace torvane::netlink

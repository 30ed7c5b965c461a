#pragma once

#include <string>

namespace torvane::netlink {

/// A network device: its index, name and IFF_* flags.
struct LinkEntry {
    int index = 0;
    std::string name;
    unsigned flags = 0;

    friend bool operator==(const LinkEntry&, const LinkEntry&) = default;
};

} // namespace torvane::netlink

#pragma once

#include <string>

namespace torvane::netlink {

/// A failed netlink operation: the errno the kernel (or the socket layer)
/// reported, and what was being done.
struct NetlinkError {
    int code = 0;
    std::string operation;

    /// operation + ": " + the errno text.
    std::string describe() const;
};

} // namespace torvane::netlink

#pragma once

#include "helper/platform/linux/Ipv4Prefix.h"
#include "shared/Expected.h"

#include <chrono>
#include <string>

namespace torvane::netlink {

/// An IPv4 address for `host`: a dotted quad as it stands, otherwise the
/// first IPv4 address the system resolver (getaddrinfo: /etc/hosts, DNS, …)
/// gives for the name within `limit`. The error names the host and the
/// resolver's reason. A lookup that outlives the limit finishes in the
/// background and is then dropped.
Expected<Ipv4Address, std::string> resolveIpv4Host(const std::string& host,
                                                   std::chrono::milliseconds limit);

} // namespace torvane::netlink

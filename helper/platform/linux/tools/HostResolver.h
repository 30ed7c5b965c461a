#pragma once

#include "Expected.h"
#include "Ipv4Prefix.h"

#include <string>

namespace torvane::tools {

/// An IPv4 address for `host`: a dotted quad as it stands, otherwise the
/// first IPv4 address the system resolver (getaddrinfo: /etc/hosts, DNS, …)
/// gives for the name. The error names the host and the resolver's reason.
Expected<netlink::Ipv4Address, std::string> resolveIpv4Host(const std::string& host);

} // namespace torvane::tools

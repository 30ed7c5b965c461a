#pragma once

#include "helper/network/DnsProbe.h"

#include <chrono>
#include <string>

namespace torvane {

/// Sends one DNS query (type A) for `name` to `server` port 53 over UDP, the
/// way the system's stub resolver does, and waits up to `limit` for the
/// answer. Reports the source address the kernel chose for it, which shows
/// whether the query entered a tunnel.
DnsProbeResult probeDnsServer(const std::string& server, const std::string& name,
                              std::chrono::milliseconds limit);

} // namespace torvane

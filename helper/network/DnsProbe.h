#pragma once

#include <chrono>
#include <functional>
#include <string>

namespace torvane {

/// What one DNS query sent for the leak check showed.
struct DnsProbeResult {
    bool sent = false;
    bool answered = false;
    /// The source address the kernel chose for the query: a tunnel's
    /// virtual IP when it entered that tunnel.
    std::string sourceAddress;
    std::string error;
};

/// Sends a query for a test name to one server, within the time limit.
using DnsProbe =
    std::function<DnsProbeResult(const std::string& server, std::chrono::milliseconds limit)>;

} // namespace torvane

#pragma once

#include "Expected.h"

#include <string>
#include <vector>

namespace torvane::tools {

/// One invocation of `netstat`. Only the IPv4 routing table is supported, so
/// the parsed form holds nothing beyond "it was asked for correctly".
struct NetstatCommand {
    friend bool operator==(const NetstatCommand&, const NetstatCommand&) = default;
};

/// Parses the arguments after the program name: "-r" is required, "-n" is
/// accepted (output is always numeric), "-f inet" (also "-finet" or within
/// a group, "-rnf inet") is the only family. Options may be grouped or
/// separate, in any order.
Expected<NetstatCommand, std::string> parseNetstatArguments(const std::vector<std::string>& args);

const char* netstatUsage();

} // namespace torvane::tools

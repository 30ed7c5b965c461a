#pragma once

#include "helper/network/DynamicStore.h"

#include <string>
#include <vector>

namespace torvane {

/// A list as the DNS log lines show it: ["a", "b"], or [] when empty.
std::string dnsLogList(const std::vector<std::string>& items);

/// A dictionary as the DNS log lines show it: ["key": value, …] with text
/// values double-quoted and lists rendered as by dnsLogList, or [] when
/// empty.
std::string dnsLogDict(const StoreDictionary& dictionary);

} // namespace torvane

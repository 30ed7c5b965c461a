#pragma once

#include "shared/Expected.h"

#include <string>
#include <string_view>
#include <vector>

namespace torvane {

/// The resolver settings a resolv.conf file carries, as the store shows them.
struct ResolvConfSettings {
    std::vector<std::string> servers;
    std::vector<std::string> searchDomains;

    friend bool operator==(const ResolvConfSettings&, const ResolvConfSettings&) = default;
};

/// Reads "nameserver", "search" and "domain" lines the way the resolver
/// does: comments ("#", ";") and unknown lines are skipped, and the last
/// "search" or "domain" line wins.
ResolvConfSettings parseResolvConf(std::string_view text);

/// The file the store writes for `settings`: a comment line naming us, one
/// "nameserver" line per server and one "search" line when there are
/// domains. A server or domain that is empty or holds white space or control
/// characters would change the meaning of the file, so it is refused.
Expected<std::string, std::string> renderResolvConf(const ResolvConfSettings& settings);

/// Whether `text` is a file renderResolvConf wrote (by its first line).
bool isGeneratedResolvConf(std::string_view text);

} // namespace torvane

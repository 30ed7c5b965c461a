#include "DnsmasqConfig.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace torvane {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// Each of these lets the configuration text act beyond answering DNS:
// running a program (as root, or as a user it picks), changing the user or
// group dnsmasq drops to, creating or appending to a file at a path it
// chooses while still root, serving files over TFTP, or reading further
// configuration that this check never saw.
constexpr std::array kRefusedDirectives = {
    "conf-file",      "conf-dir",         "conf-script",    "servers-file",      "dhcp-script",
    "dhcp-luascript", "dhcp-scriptuser",  "script-arp",     "script-on-renewal", "user",
    "group",          "pid-file",         "dhcp-leasefile", "dhcp-lease",        "log-facility",
    "dumpfile",       "dnssec-timestamp", "enable-tftp",    "tftp-root",         "tftp-unique-root",
};

} // namespace

std::string dnsmasqConfigText(const VPNProfile& profile, const std::string& upstreamResolvFile) {
    const std::string_view own = trimmed(profile.dnsmasqConfig);
    if (!own.empty()) {
        return std::string(own) + "\n";
    }
    std::string text = "listen-address=127.0.0.1\n"
                       "bind-interfaces\n"
                       "port=53\n"
                       "no-hosts\n"
                       "no-resolv\n";
    if (profile.dnsServers.empty()) {
        text += "resolv-file=" + upstreamResolvFile + "\n";
    }
    for (const auto& server : profile.dnsServers) {
        text += "server=" + server + "\n";
    }
    return text;
}

std::optional<std::string> refusedDnsmasqDirective(std::string_view config) {
    // dnsmasq reads one directive per line; a carriage return or NUL inside
    // a line is treated as a line end here too, so that nothing can hide a
    // directive behind a character the two parsers might see differently.
    std::size_t start = 0;
    while (start <= config.size()) {
        const std::size_t end = config.find_first_of(std::string_view("\n\r\0", 3), start);
        std::string_view line = config.substr(
            start, end == std::string_view::npos ? std::string_view::npos : end - start);
        start = end == std::string_view::npos ? config.size() + 1 : end + 1;

        line = trimmed(line);
        if (line.empty() || line.front() == '#') {
            continue;
        }
        const std::string_view written = trimmed(line.substr(0, line.find('=')));
        std::string name(written);
        name.erase(0, name.find_first_not_of('-'));
        std::transform(name.begin(), name.end(), name.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        const bool refused = std::find(kRefusedDirectives.begin(), kRefusedDirectives.end(),
                                       name) != kRefusedDirectives.end();
        if (refused) {
            return "dnsmasq config directive '" + std::string(written) +
                   "' is not allowed: it could run programs, change users or touch files "
                   "as root";
        }
    }
    return std::nullopt;
}

} // namespace torvane

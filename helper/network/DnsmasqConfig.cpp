#include "helper/network/DnsmasqConfig.h"

#include "shared/TextPieces.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cstring>
#include <iterator>
#include <netinet/in.h>

namespace torvane {

namespace {

// dnsmasq reads its configuration with fgets into a buffer of about 1 KiB:
// a longer line reaches it as two lines, the second one a directive of its
// own even when the whole line looks like a comment. Refusing long lines
// well below that size keeps every line one line for both readers.
constexpr std::size_t kMaxLineBytes = 1000;

enum class ValueRule { any, loopbackAddresses, upstreamResolvFile };

struct AllowedDirective {
    std::string_view name;
    ValueRule rule;
};

// Directives that only shape how DNS queries are answered, cached and
// forwarded. Everything else is refused: what runs programs, changes the
// user or group, writes or reads files, serves DHCP or TFTP, or pulls in
// more configuration must never come from a profile's text.
constexpr AllowedDirective kAllowedDirectives[] = {
    {"server", ValueRule::any},
    {"local", ValueRule::any},
    {"address", ValueRule::any},
    {"domain-needed", ValueRule::any},
    {"bogus-priv", ValueRule::any},
    {"strict-order", ValueRule::any},
    {"all-servers", ValueRule::any},
    {"cache-size", ValueRule::any},
    {"no-negcache", ValueRule::any},
    {"neg-ttl", ValueRule::any},
    {"local-ttl", ValueRule::any},
    {"max-cache-ttl", ValueRule::any},
    {"min-cache-ttl", ValueRule::any},
    {"log-queries", ValueRule::any},
    {"rebind-domain-ok", ValueRule::any},
    {"stop-dns-rebind", ValueRule::any},
    {"domain", ValueRule::any},
    {"expand-hosts", ValueRule::any},
    {"cname", ValueRule::any},
    {"txt-record", ValueRule::any},
    {"srv-host", ValueRule::any},
    {"ptr-record", ValueRule::any},
    {"host-record", ValueRule::any},
    {"filterwin2k", ValueRule::any},
    {"listen-address", ValueRule::loopbackAddresses},
    {"port", ValueRule::any},
    {"bind-interfaces", ValueRule::any},
    {"no-hosts", ValueRule::any},
    {"no-resolv", ValueRule::any},
    {"resolv-file", ValueRule::upstreamResolvFile},
};

// Inside a line only these remain: every other control character is refused.
bool isLineBlank(char c) {
    return c == ' ' || c == '\t';
}

// dnsmasq looks option names up exactly, case included.
bool isNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-';
}

bool isLoopbackAddress(const std::string& text) {
    in_addr v4{};
    if (::inet_pton(AF_INET, text.c_str(), &v4) == 1) {
        return (ntohl(v4.s_addr) >> 24) == 127;
    }
    in6_addr v6{};
    return ::inet_pton(AF_INET6, text.c_str(), &v6) == 1 &&
           std::memcmp(&v6, &in6addr_loopback, sizeof v6) == 0;
}

bool allLoopback(std::string_view list) {
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = list.find(',', start);
        const std::string item(list.substr(
            start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
        if (!isLoopbackAddress(item)) {
            return false;
        }
        if (comma == std::string_view::npos) {
            return true;
        }
        start = comma + 1;
    }
}

// The value dnsmasq acts on: up to a "#" that follows a blank (a comment),
// without the blanks around it. Only meaningful for a value with no quotes, which
// would hide a "#" from dnsmasq; the caller refuses those.
std::string_view effectiveValue(std::string_view line, std::size_t valueStart) {
    std::size_t end = line.size();
    for (std::size_t i = valueStart; i < line.size(); ++i) {
        if (line[i] == '#' && i > 0 && isLineBlank(line[i - 1])) {
            end = i;
            break;
        }
    }
    std::string_view value = line.substr(valueStart, end - valueStart);
    while (!value.empty() && isLineBlank(value.front())) {
        value.remove_prefix(1);
    }
    while (!value.empty() && isLineBlank(value.back())) {
        value.remove_suffix(1);
    }
    return value;
}

std::string lineRefusal(std::size_t line, const std::string& what) {
    return "dnsmasq config line " + std::to_string(line) + " " + what;
}

std::string directiveRefusal(std::string_view name, std::size_t line, const std::string& what) {
    return "dnsmasq config directive '" + std::string(name) + "' (line " + std::to_string(line) +
           ") " + what;
}

// The first word of a line that is not a directive line, for the error
// text; left out when it would not read well there.
std::string quotedWord(std::string_view line) {
    const std::string_view word = line.substr(0, line.find_first_of(" \t="));
    const bool printable =
        std::all_of(word.begin(), word.end(), [](char c) { return c >= 0x20 && c < 0x7f; });
    if (word.empty() || word.size() > 64 || !printable) {
        return "";
    }
    return ": '" + std::string(word) + "'";
}

/// Reads one line as dnsmasq would; returns the refusal text, if any.
std::optional<std::string> checkLine(std::string_view line, std::size_t number,
                                     std::string_view upstreamResolvFile,
                                     std::vector<DnsmasqDirective>& directives) {
    if (line.size() > kMaxLineBytes) {
        return lineRefusal(number, "is longer than " + std::to_string(kMaxLineBytes) + " bytes");
    }
    for (const char c : line) {
        if (c == '\r') {
            return lineRefusal(number, "contains a carriage return");
        }
        if (c == '\0') {
            return lineRefusal(number, "contains a NUL byte");
        }
        if (static_cast<unsigned char>(c) < 0x20 && c != '\t') {
            return lineRefusal(number, "contains a control character");
        }
    }

    std::size_t pos = 0;
    while (pos < line.size() && isLineBlank(line[pos])) {
        ++pos;
    }
    if (pos == line.size() || line[pos] == '#') {
        return std::nullopt;
    }
    const std::size_t nameStart = pos;
    while (pos < line.size() && isNameChar(line[pos])) {
        ++pos;
    }
    const std::string_view name = line.substr(nameStart, pos - nameStart);
    // After the name only blanks, then the line's end, "=" or a comment.
    // Anything else ("--", capitals, quotes, "name value", a "#" right after
    // the name) is a line dnsmasq reads as another name, or as none.
    const bool nameEnds = pos == line.size() || isLineBlank(line[pos]) || line[pos] == '=';
    while (pos < line.size() && isLineBlank(line[pos])) {
        ++pos;
    }
    if (name.empty() || !nameEnds || (pos < line.size() && line[pos] != '=' && line[pos] != '#')) {
        return lineRefusal(number, "is not a directive line (name or name=value)" +
                                       quotedWord(line.substr(nameStart)));
    }
    std::optional<std::size_t> valueStart;
    if (pos < line.size() && line[pos] == '=') {
        valueStart = pos + 1;
    }

    const auto allowed =
        std::find_if(std::begin(kAllowedDirectives), std::end(kAllowedDirectives),
                     [&](const AllowedDirective& entry) { return entry.name == name; });
    if (allowed == std::end(kAllowedDirectives)) {
        return directiveRefusal(name, number,
                                "is not allowed: only directives that shape DNS answers and "
                                "forwarding are");
    }
    const std::string_view value =
        valueStart ? effectiveValue(line, *valueStart) : std::string_view();
    switch (allowed->rule) {
    case ValueRule::any:
        break;
    case ValueRule::loopbackAddresses:
        if (value.find_first_of("\" \t") != std::string_view::npos || !allLoopback(value)) {
            return directiveRefusal(name, number,
                                    "may only name loopback addresses (127.0.0.0/8, ::1)");
        }
        break;
    case ValueRule::upstreamResolvFile:
        if (value.find('"') != std::string_view::npos || value != upstreamResolvFile) {
            return directiveRefusal(name, number,
                                    "may only name " + std::string(upstreamResolvFile));
        }
        break;
    }
    DnsmasqDirective directive{number, std::string(name), std::nullopt};
    if (valueStart) {
        directive.value = std::string(line.substr(*valueStart));
    }
    directives.push_back(std::move(directive));
    return std::nullopt;
}

} // namespace

std::string dnsmasqConfigText(const VPNProfile& profile,
                              const std::vector<std::string>& upstreamServers) {
    const std::string_view own = trimmedText(profile.dnsmasqConfig, kAsciiWhitespace);
    if (!own.empty()) {
        return std::string(own) + "\n";
    }
    std::string text = "listen-address=127.0.0.1\n"
                       "bind-interfaces\n"
                       "port=53\n"
                       "no-hosts\n"
                       "no-resolv\n";
    const auto& servers = profile.dnsServers.empty() ? upstreamServers : profile.dnsServers;
    for (const auto& server : servers) {
        text += "server=" + server + "\n";
    }
    return text;
}

DnsmasqConfigCheck checkDnsmasqConfig(std::string_view config,
                                      std::string_view upstreamResolvFile) {
    DnsmasqConfigCheck check;
    std::size_t number = 1;
    for (std::size_t start = 0; start < config.size(); ++number) {
        const std::size_t newline = config.find('\n', start);
        const std::size_t end = newline == std::string_view::npos ? config.size() : newline;
        check.refusal = checkLine(config.substr(start, end - start), number, upstreamResolvFile,
                                  check.directives);
        if (check.refusal) {
            break;
        }
        start = end + 1;
    }
    const bool listens = std::any_of(
        check.directives.begin(), check.directives.end(),
        [](const DnsmasqDirective& directive) { return directive.name == "listen-address"; });
    if (!check.refusal && !listens) {
        // Without one dnsmasq answers on every interface, the LAN's included.
        check.refusal = "dnsmasq config has no listen-address line (127.0.0.1 or ::1)";
    }
    return check;
}

} // namespace torvane

#include "PfctlRuleset.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cstddef>
#include <optional>

namespace torvane::tools {

namespace {

constexpr std::string_view kPassOn = "pass out quick on ";
constexpr std::string_view kUdpTo = "pass out quick proto udp from any to ";
constexpr std::string_view kIkePorts = " port {500, 4500}";
constexpr std::string_view kEspTo = "pass out quick proto esp from any to ";
constexpr std::string_view kDhcp = "pass out quick proto udp from any port 68 to any port 67";
constexpr std::string_view kBlock = "block drop out quick all";
// Linux keeps interface names below IFNAMSIZ (16) bytes.
constexpr std::size_t kMaxInterfaceName = 15;
constexpr std::size_t kMaxHostName = 253;

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

bool endsWith(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

bool isAlnum(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// Names go into the script inside double quotes; only characters that
// cannot end the string or start another statement get through.
bool isInterfaceName(std::string_view name) {
    if (name.empty() || name.size() > kMaxInterfaceName || name == "." || name == "..") {
        return false;
    }
    for (char c : name) {
        if (!isAlnum(c) && c != '_' && c != '-' && c != '.') {
            return false;
        }
    }
    return true;
}

bool isHostName(std::string_view name) {
    if (name.empty() || name.size() > kMaxHostName || name.front() == '-' || name.front() == '.') {
        return false;
    }
    for (char c : name) {
        if (!isAlnum(c) && c != '-' && c != '.') {
            return false;
        }
    }
    return true;
}

struct Address {
    bool v6 = false;
    std::string text;
};

// A literal is written back in the kernel's canonical spelling.
std::optional<Address> parseLiteral(const std::string& text) {
    unsigned char buffer[16];
    char canonical[INET6_ADDRSTRLEN];
    if (inet_pton(AF_INET, text.c_str(), buffer) == 1 &&
        inet_ntop(AF_INET, buffer, canonical, sizeof canonical)) {
        return Address{false, canonical};
    }
    if (inet_pton(AF_INET6, text.c_str(), buffer) == 1 &&
        inet_ntop(AF_INET6, buffer, canonical, sizeof canonical)) {
        return Address{true, canonical};
    }
    return std::nullopt;
}

Expected<std::vector<Address>, std::string> gatewayAddresses(std::string_view gateway,
                                                             const GatewayResolver& resolver) {
    const std::string text(gateway);
    if (const auto literal = parseLiteral(text)) {
        return std::vector<Address>{*literal};
    }
    if (!isHostName(gateway)) {
        return Unexpected{std::string("bad gateway address")};
    }
    if (!resolver) {
        return Unexpected{"cannot resolve " + text};
    }
    auto resolved = resolver(text);
    if (!resolved) {
        return Unexpected{std::move(resolved.error())};
    }
    std::vector<Address> addresses;
    for (const auto& entry : *resolved) {
        const auto literal = parseLiteral(entry);
        if (!literal) {
            return Unexpected{"resolver gave a bad address for " + text};
        }
        addresses.push_back(*literal);
    }
    if (addresses.empty()) {
        return Unexpected{"no address for " + text};
    }
    return addresses;
}

std::string daddr(const Address& address) {
    return std::string(address.v6 ? "ip6" : "ip") + " daddr " + address.text;
}

// One line's rules for the output chain; an interface line also names the
// tunnel device whose forwarded traffic may pass.
Expected<std::vector<std::string>, std::string> translateLine(std::string_view line,
                                                              const GatewayResolver& resolver,
                                                              std::vector<std::string>& tunnels) {
    if (line == kBlock) {
        return std::vector<std::string>{"counter drop"};
    }
    if (line == kDhcp) {
        return std::vector<std::string>{"udp sport 68 udp dport 67 counter accept"};
    }
    if (startsWith(line, kPassOn) && endsWith(line, " all")) {
        const auto name = line.substr(kPassOn.size(), line.size() - kPassOn.size() - 4);
        if (!isInterfaceName(name)) {
            return Unexpected{std::string("bad interface name")};
        }
        const std::string device = name == "lo0" ? std::string("lo") : std::string(name);
        // Every tunnel shares one device on Linux: name it once.
        if (device != "lo" && std::find(tunnels.begin(), tunnels.end(), device) == tunnels.end()) {
            tunnels.push_back(device);
        }
        return std::vector<std::string>{"oifname \"" + device + "\" counter accept"};
    }
    std::string_view gateway;
    std::string match;
    if (startsWith(line, kUdpTo) && endsWith(line, kIkePorts)) {
        gateway = line.substr(kUdpTo.size(), line.size() - kUdpTo.size() - kIkePorts.size());
        match = " udp dport { 500, 4500 } counter accept";
    } else if (startsWith(line, kEspTo)) {
        gateway = line.substr(kEspTo.size());
        match = " meta l4proto esp counter accept";
    } else {
        return Unexpected{std::string("unrecognised rule")};
    }
    const auto addresses = gatewayAddresses(gateway, resolver);
    if (!addresses) {
        return Unexpected{addresses.error()};
    }
    std::vector<std::string> rules;
    for (const auto& address : *addresses) {
        rules.push_back(daddr(address) + match);
    }
    return rules;
}

std::string tableName() {
    return std::string(kKillSwitchFamily) + " " + std::string(kKillSwitchTable);
}

} // namespace

Expected<std::string, std::string> translateRuleset(std::string_view text,
                                                    const GatewayResolver& resolver) {
    if (endsWith(text, "\n")) {
        text.remove_suffix(1);
    }
    std::vector<std::string> rules;
    std::vector<std::string> tunnels;
    std::size_t lineNumber = 0;
    while (true) {
        ++lineNumber;
        const auto end = text.find('\n');
        const auto line = text.substr(0, end);
        auto translated = translateLine(line, resolver, tunnels);
        if (!translated) {
            return Unexpected{"line " + std::to_string(lineNumber) + ": " + translated.error()};
        }
        rules.insert(rules.end(), translated->begin(), translated->end());
        if (end == std::string_view::npos) {
            break;
        }
        text.remove_prefix(end + 1);
    }

    // Adding the table first makes the delete succeed when it does not exist
    // yet; nft applies the whole buffer as one transaction.
    std::string script = "add table " + tableName() + "\n";
    script += "delete table " + tableName() + "\n";
    script += "add table " + tableName() + "\n";
    script += "add chain " + tableName() +
              " output { type filter hook output priority 0; policy drop; }\n";
    for (const auto& rule : rules) {
        script += "add rule " + tableName() + " output " + rule + "\n";
    }
    // Containers and virtual machines routed through this host: their
    // packets may go into a tunnel, and the replies come back out of it;
    // nothing else is forwarded, so none of them leaves outside a tunnel.
    script += "add chain " + tableName() +
              " forward { type filter hook forward priority 0; policy drop; }\n";
    for (const auto& device : tunnels) {
        script +=
            "add rule " + tableName() + " forward oifname \"" + device + "\" counter accept\n";
        script += "add rule " + tableName() + " forward iifname \"" + device +
                  "\" ct state established,related counter accept\n";
    }
    script += "add rule " + tableName() + " forward counter drop\n";
    return script;
}

std::string deleteTableScript() {
    return "add table " + tableName() + "\ndelete table " + tableName() + "\n";
}

} // namespace torvane::tools

#include "helper/platform/linux/NftablesFirewall.h"

#include <algorithm>
#include <arpa/inet.h>
#include <charconv>
#include <memory>
#include <netdb.h>
#include <nftables/libnftables.h>
#include <sstream>
#include <string_view>
#include <sys/socket.h>

namespace torvane {

namespace {

constexpr const char* kTable = "inet torvane_killswitch";

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

Expected<std::vector<std::string>, std::string> systemResolve(const std::string& host) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    const int rc = getaddrinfo(host.c_str(), nullptr, &hints, &found);
    if (rc != 0) {
        return Unexpected{"cannot resolve " + host + ": " + gai_strerror(rc)};
    }
    std::vector<std::string> addresses;
    for (const addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
        char text[NI_MAXHOST];
        if (getnameinfo(entry->ai_addr, entry->ai_addrlen, text, sizeof text, nullptr, 0,
                        NI_NUMERICHOST) == 0 &&
            std::find(addresses.begin(), addresses.end(), text) == addresses.end()) {
            addresses.emplace_back(text);
        }
    }
    freeaddrinfo(found);
    return addresses;
}

Expected<std::vector<Address>, std::string>
gatewayAddresses(const std::string& gateway, const NftablesFirewall::Resolver& resolver) {
    if (!isFirewallGateway(gateway)) {
        return Unexpected{"bad gateway address: " + gateway};
    }
    if (const auto literal = parseLiteral(gateway)) {
        return std::vector<Address>{*literal};
    }
    auto resolved = resolver(gateway);
    if (!resolved) {
        return Unexpected{resolved.error()};
    }
    std::vector<Address> addresses;
    for (const auto& entry : *resolved) {
        const auto literal = parseLiteral(entry);
        if (!literal) {
            return Unexpected{"the resolver gave a bad address for " + gateway};
        }
        addresses.push_back(*literal);
    }
    if (addresses.empty()) {
        return Unexpected{"no address for " + gateway};
    }
    return addresses;
}

struct Run {
    int status = 0;
    std::string output;
    std::string error;
};

Run runScript(const std::string& script,
              unsigned flags = NFT_CTX_OUTPUT_ECHO | NFT_CTX_OUTPUT_HANDLE) {
    const std::unique_ptr<nft_ctx, void (*)(nft_ctx*)> context(nft_ctx_new(NFT_CTX_DEFAULT),
                                                               nft_ctx_free);
    if (!context) {
        return {1, {}, "cannot create an nftables context"};
    }
    // Echo with handles: the table's handle comes back in the output.
    nft_ctx_output_set_flags(context.get(), flags);
    nft_ctx_buffer_output(context.get());
    nft_ctx_buffer_error(context.get());
    Run run;
    run.status = nft_run_cmd_from_buffer(context.get(), script.c_str());
    run.output = nft_ctx_get_output_buffer(context.get());
    if (run.status != 0) {
        run.error = nft_ctx_get_error_buffer(context.get());
        while (!run.error.empty() && (run.error.back() == '\n' || run.error.back() == ' ')) {
            run.error.pop_back();
        }
    }
    return run;
}

// The last "add table …" line of the echo names the table now in force:
// the first one of the script only makes sure there is one to delete.
std::optional<std::uint64_t> handleNumber(std::string_view digits) {
    std::uint64_t value = 0;
    const auto [rest, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error != std::errc() || rest != digits.data() + digits.size()) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::uint64_t> tableHandle(const std::string& echo) {
    const std::string prefix = std::string("add table ") + kTable + " # handle ";
    std::optional<std::uint64_t> handle;
    std::size_t start = 0;
    while (start < echo.size()) {
        auto end = echo.find('\n', start);
        if (end == std::string::npos) {
            end = echo.size();
        }
        const std::string_view line(echo.data() + start, end - start);
        if (line.substr(0, prefix.size()) == prefix) {
            if (const auto value = handleNumber(line.substr(prefix.size()))) {
                handle = value;
            }
        }
        start = end + 1;
    }
    return handle;
}

} // namespace

NftablesFirewall::NftablesFirewall(Resolver resolver)
    : m_resolver(resolver ? std::move(resolver) : Resolver(systemResolve)) {}

std::string NftablesFirewall::tableName() const {
    return kTable;
}

Expected<std::string, std::string> NftablesFirewall::script(const FirewallPolicy& policy,
                                                            const Resolver& resolver) {
    const std::string table = kTable;
    std::vector<std::string> devices;
    for (const auto& name : policy.tunnelInterfaces) {
        if (!isFirewallInterfaceName(name)) {
            return Unexpected{"bad interface name: " + name};
        }
        // Every tunnel may share one device: it is named once.
        if (std::find(devices.begin(), devices.end(), name) == devices.end()) {
            devices.push_back(name);
        }
    }
    std::vector<std::string> output{"oifname \"lo\" counter accept"};
    for (const auto& device : devices) {
        output.push_back("oifname \"" + device + "\" counter accept");
    }
    std::vector<std::string> passed;
    for (const auto& gateway : policy.gateways) {
        const auto addresses = gatewayAddresses(gateway, resolver);
        if (!addresses) {
            return Unexpected{addresses.error()};
        }
        for (const auto& address : *addresses) {
            if (std::find(passed.begin(), passed.end(), address.text) != passed.end()) {
                continue;
            }
            passed.push_back(address.text);
            const std::string daddr = (address.v6 ? "ip6 daddr " : "ip daddr ") + address.text;
            output.push_back(daddr + " udp dport { 500, 4500 } counter accept");
            output.push_back(daddr + " meta l4proto esp counter accept");
        }
    }
    output.push_back("udp sport 68 udp dport 67 counter accept");
    output.push_back("counter drop");

    // Adding the table first makes the delete succeed when it does not exist
    // yet; nft applies the whole buffer as one transaction.
    std::string text = "add table " + table + "\ndelete table " + table + "\nadd table " + table +
                       "\nadd chain " + table +
                       " output { type filter hook output priority 0; policy drop; }\n";
    for (const auto& rule : output) {
        text += "add rule " + table + " output " + rule + "\n";
    }
    // Containers and virtual machines routed through this host: their
    // packets may go into a tunnel, and the replies come back out of it;
    // nothing else is forwarded, so none of them leaves outside a tunnel.
    text +=
        "add chain " + table + " forward { type filter hook forward priority 0; policy drop; }\n";
    for (const auto& device : devices) {
        text += "add rule " + table + " forward oifname \"" + device + "\" counter accept\n";
        text += "add rule " + table + " forward iifname \"" + device +
                "\" ct state established,related counter accept\n";
    }
    text += "add rule " + table + " forward counter drop\n";
    return text;
}

std::string NftablesFirewall::releaseScript() {
    return std::string("add table ") + kTable + "\ndelete table " + kTable + "\n";
}

Expected<FirewallApplied, FirewallError> NftablesFirewall::apply(const FirewallPolicy& policy) {
    const auto text = script(policy, m_resolver);
    if (!text) {
        return Unexpected{FirewallError{1, text.error()}};
    }
    auto run = runScript(*text);
    if (run.status != 0) {
        return Unexpected{FirewallError{run.status, "nftables refused the rules: " + run.error}};
    }
    return FirewallApplied{tableHandle(run.output), std::move(run.output)};
}

std::optional<FirewallError> NftablesFirewall::release() {
    const auto run = runScript(releaseScript());
    if (run.status != 0) {
        return FirewallError{run.status, "nftables refused to delete the table: " + run.error};
    }
    return std::nullopt;
}

FirewallTable NftablesFirewall::parseListing(const std::string& listing) {
    FirewallTable table;
    std::istringstream lines(listing);
    std::string line;
    std::string chain;
    while (std::getline(lines, line)) {
        const auto first = line.find_first_not_of(" \t");
        const std::string_view text =
            first == std::string::npos ? std::string_view() : std::string_view(line).substr(first);
        const auto handleAt = text.rfind("# handle ");
        if (text.substr(0, 6) == "table ") {
            table.present = true;
            if (handleAt != std::string_view::npos) {
                table.handle = handleNumber(text.substr(handleAt + 9));
            }
        } else if (text.substr(0, 6) == "chain ") {
            const auto end = text.find(' ', 6);
            chain = std::string(text.substr(6, end == std::string_view::npos ? end : end - 6));
        } else if (chain == "output") {
            if (text.find("hook output") != std::string_view::npos) {
                table.outputDrops = text.find("policy drop;") != std::string_view::npos;
            } else if (text.find(" accept") != std::string_view::npos) {
                std::istringstream words{std::string(text)};
                std::string word, value, next;
                words >> word >> value >> next;
                if (word == "oifname" && value.size() > 2) {
                    table.passedInterfaces.push_back(value.substr(1, value.size() - 2));
                } else if ((word == "ip" || word == "ip6") && value == "daddr" &&
                           std::find(table.passedGateways.begin(), table.passedGateways.end(),
                                     next) == table.passedGateways.end()) {
                    table.passedGateways.push_back(next);
                }
            }
        }
    }
    return table;
}

Expected<FirewallTable, FirewallError> NftablesFirewall::inForce() {
    const auto run = runScript(std::string("list table ") + kTable + "\n", NFT_CTX_OUTPUT_HANDLE);
    if (run.status != 0) {
        if (run.error.find("No such file or directory") != std::string::npos) {
            return FirewallTable{};
        }
        return Unexpected{
            FirewallError{run.status, "nftables cannot list the table: " + run.error}};
    }
    return parseListing(run.output);
}

} // namespace torvane

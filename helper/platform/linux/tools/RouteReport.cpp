#include "RouteReport.h"

#include "RouteRequest.h"

#include <cerrno>
#include <cstring>
#include <linux/rtnetlink.h>

namespace torvane::tools {

using namespace netlink;

namespace {

struct Flag {
    char letter;
    const char* word;
    bool (*test)(const RouteEntry&);
};

bool isStaticProtocol(std::uint8_t protocol) {
    return protocol == RTPROT_BOOT || protocol == RTPROT_STATIC ||
           protocol == kTorvaneRouteProtocol;
}

const Flag kFlags[] = {
    {'U', "UP",
     [](const RouteEntry& r) {
         return (r.nexthopFlags & RTNH_F_DEAD) == 0 && r.type != RTN_BLACKHOLE &&
                r.type != RTN_UNREACHABLE && r.type != RTN_PROHIBIT && r.type != RTN_THROW;
     }},
    {'G', "GATEWAY",
     [](const RouteEntry& r) {
         return r.gateway.has_value();
     }},
    {'H', "HOST",
     [](const RouteEntry& r) {
         return r.destination.length == 32;
     }},
    {'R', "REJECT",
     [](const RouteEntry& r) {
         return r.type == RTN_UNREACHABLE || r.type == RTN_PROHIBIT || r.type == RTN_THROW;
     }},
    {'B', "BLACKHOLE",
     [](const RouteEntry& r) {
         return r.type == RTN_BLACKHOLE;
     }},
    {'S', "STATIC",
     [](const RouteEntry& r) {
         return isStaticProtocol(r.protocol);
     }},
    {'L', "LOCAL",
     [](const RouteEntry& r) {
         return r.type == RTN_LOCAL;
     }},
};

void appendLine(std::string& out, const char* label, const std::string& value) {
    // "destination" is the longest label; BSD aligns the colons under it.
    const std::size_t width = 11;
    const std::size_t length = std::strlen(label);
    out.append(length < width ? width - length : 0, ' ');
    out += label;
    out += ": ";
    out += value;
    out += '\n';
}

} // namespace

std::vector<std::string> routeFlagWords(const RouteEntry& route) {
    std::vector<std::string> words;
    for (const auto& flag : kFlags) {
        if (flag.test(route)) {
            words.emplace_back(flag.word);
        }
    }
    return words;
}

std::string routeFlagLetters(const RouteEntry& route) {
    std::string letters;
    for (const auto& flag : kFlags) {
        if (flag.test(route)) {
            letters += flag.letter;
        }
    }
    return letters;
}

std::string formatRouteGet(const RouteGetReport& report) {
    const auto& entry = report.entry;
    const bool isDefault = entry.destination.length == 0;
    std::string out;
    appendLine(out, "route to", report.routeTo);
    appendLine(out, "destination",
               isDefault ? "default" : formatIpv4Address(entry.destination.address));
    appendLine(out, "mask",
               isDefault ? "default" : formatIpv4Address(prefixMask(entry.destination.length)));
    if (entry.gateway) {
        appendLine(out, "gateway", formatIpv4Address(*entry.gateway));
    }
    appendLine(out, "interface", report.interfaceName);
    std::string flags = "<";
    for (const auto& word : routeFlagWords(entry)) {
        if (flags.size() > 1) {
            flags += ',';
        }
        flags += word;
    }
    flags += '>';
    appendLine(out, "flags", flags);
    return out;
}

std::string describeRouteChange(const RouteCommand& command, const std::string& destination,
                                const std::string& gateway) {
    std::string text = command.action == RouteAction::add ? "add " : "delete ";
    text += command.target == RouteTarget::network ? "net " : "host ";
    text += destination;
    if (command.target == RouteTarget::host && command.destination != destination) {
        text += " (" + command.destination + ")";
    }
    if (command.action == RouteAction::add) {
        if (!command.interfaceName.empty()) {
            text += ": interface " + command.interfaceName;
        } else {
            text += ": gateway " + gateway;
        }
    }
    return text;
}

std::string describeRouteFailure(int code) {
    if (code == ESRCH) {
        return "not in table";
    }
    return std::strerror(code);
}

} // namespace torvane::tools

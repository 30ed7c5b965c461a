#include "Ipv6Guard.h"

#include "RouteTable.h"

#include <chrono>

namespace torvane {

namespace {

constexpr std::chrono::seconds kToolTimeout{30};

std::string trimSpacesAndTabs(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

/// The output's lines, empty ones dropped, each trimmed of spaces and tabs.
std::vector<std::string> trimmedLines(const std::string& output) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start <= output.size()) {
        auto end = output.find('\n', start);
        if (end == std::string::npos) {
            end = output.size();
        }
        if (end > start) {
            lines.push_back(trimSpacesAndTabs(output.substr(start, end - start)));
        }
        start = end + 1;
    }
    return lines;
}

bool startsWith(const std::string& text, std::string_view prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

} // namespace

std::vector<std::string> parseNetworkServiceOrder(const std::string& output) {
    std::vector<std::string> names;
    std::optional<std::string> pending;
    for (const auto& line : trimmedLines(output)) {
        if (startsWith(line, "(*")) {
            pending.reset();
            continue;
        }
        const auto separator = line.find(") ");
        if (startsWith(line, "(") && separator != std::string::npos) {
            pending = line.substr(separator + 2);
            continue;
        }
        if (line.find("Hardware Port") != std::string::npos && pending) {
            names.push_back(*pending);
            pending.reset();
        }
    }
    return names;
}

std::optional<std::string> parseIPv6Mode(const std::string& output) {
    for (const auto& line : trimmedLines(output)) {
        if (startsWith(line, "IPv6: ")) {
            return trimSpacesAndTabs(line.substr(6));
        }
    }
    return std::nullopt;
}

Ipv6Guard::Ipv6Guard(NetworkContext& context) : m_context(context) {}

CommandResult Ipv6Guard::networksetup(const std::vector<std::string>& args) {
    return m_context.runner.runCommand(m_context.locator.tool("networksetup"), args, std::nullopt,
                                       kToolTimeout);
}

void Ipv6Guard::reconcileIPv6(const std::vector<Tunnel*>& tunnels) {
    bool wanted = false;
    for (const Tunnel* tunnel : tunnels) {
        if ((tunnel->vip || tunnel->tun) && tunnel->profile.preventIPv6Leak &&
            isFullIPv4TunnelWithoutIPv6(*tunnel)) {
            wanted = true;
            break;
        }
    }
    if (!wanted) {
        restoreIPv6();
        return;
    }
    if (m_active) {
        return;
    }
    m_active = true;
    for (const auto& service : allNetworkServiceNames()) {
        const auto mode = currentIPv6Mode(service);
        if (!mode || *mode == "Off") {
            continue;
        }
        m_saved.push_back({service, *mode});
        if (*mode == "Automatic" || *mode == "LinkLocal") {
            m_context.recordUndo(
                "ipv6 " + service,
                UndoStep::runTool(
                    "networksetup",
                    {*mode == "Automatic" ? "-setv6automatic" : "-setv6LinkLocal", service}));
        }
        networksetup({"-setv6off", service});
        m_context.log("IPv6 disabled on '" + service + "' (was: " + *mode + ") — leak prevention");
    }
}

void Ipv6Guard::restoreIPv6() {
    m_active = false;
    for (const auto& saved : m_saved) {
        std::string flag;
        if (saved.mode == "Automatic") {
            flag = "-setv6automatic";
        } else if (saved.mode == "LinkLocal") {
            flag = "-setv6LinkLocal";
        } else {
            m_context.log("IPv6 restore: unrecognised saved mode '" + saved.mode + "' for '" +
                          saved.service + "' — skipping");
            continue;
        }
        const auto result = networksetup({flag, saved.service});
        m_context.forgetUndo("ipv6 " + saved.service);
        if (result.status == 0) {
            m_context.log("IPv6 restored on '" + saved.service + "' → " + saved.mode);
        } else {
            m_context.log("IPv6 restore FAILED on '" + saved.service + "' → " + saved.mode +
                          " (exit " + std::to_string(result.status) + "): " + result.output);
        }
    }
    m_saved.clear();
}

std::vector<std::string> Ipv6Guard::allNetworkServiceNames() {
    return parseNetworkServiceOrder(networksetup({"-listnetworkserviceorder"}).output);
}

std::optional<std::string> Ipv6Guard::currentIPv6Mode(const std::string& service) {
    return parseIPv6Mode(networksetup({"-getinfo", service}).output);
}

} // namespace torvane

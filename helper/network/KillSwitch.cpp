#include "KillSwitch.h"

#include "EngineError.h"
#include "FileWriter.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <system_error>

namespace torvane {

namespace {

constexpr std::chrono::seconds kPfctlTimeout{30};
constexpr const char* kTokenMarker = "Token : ";
constexpr const char* kFailureMessage = "Kill switch failed to engage — see log";

std::string trimBlanks(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

// The last line carrying the marker wins, as a later enable would.
std::optional<std::string> parseEnableToken(const std::string& output) {
    std::optional<std::string> token;
    std::size_t start = 0;
    while (start <= output.size()) {
        auto end = output.find('\n', start);
        if (end == std::string::npos) {
            end = output.size();
        }
        const std::string line = output.substr(start, end - start);
        const auto marker = line.find(kTokenMarker);
        if (!line.empty() && marker != std::string::npos) {
            // An empty token could never be released; it counts as none.
            auto found = trimBlanks(line.substr(marker + std::string(kTokenMarker).size()));
            if (!found.empty()) {
                token = std::move(found);
            }
        }
        start = end + 1;
    }
    return token;
}

// Interface names and gateways come from the tunnel records, and a gateway
// may still be the profile's text as typed. Written as is, a newline or a
// blank in it would add or change rules and so open a hole in the filter.
// Such a value is left out: its traffic stays blocked, which is the safe side.
bool isRuleWord(const std::string& value) {
    if (value.empty()) {
        return false;
    }
    return std::all_of(value.begin(), value.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '.' || c == ':' || c == '-' || c == '_' || c == '%';
    });
}

} // namespace

KillSwitch::KillSwitch(NetworkContext& context) : m_context(context) {}

std::string KillSwitch::rulesetPath() const {
    return m_context.stagingRoot + "/killswitch.pf.conf";
}

std::string KillSwitch::rulesetText(const std::vector<Tunnel*>& tunnels) {
    std::string text = "pass out quick on lo0 all\n";
    for (const Tunnel* tunnel : tunnels) {
        if (tunnel->tun && isRuleWord(*tunnel->tun)) {
            text += "pass out quick on " + *tunnel->tun + " all\n";
        }
        const std::string gateway = tunnel->remoteIP.value_or(tunnel->profile.remoteAddr);
        if (isRuleWord(gateway)) {
            text += "pass out quick proto udp from any to " + gateway + " port {500, 4500}\n";
            text += "pass out quick proto esp from any to " + gateway + "\n";
        }
    }
    text += "pass out quick proto udp from any port 68 to any port 67\n";
    text += "block drop out quick all\n";
    return text;
}

CommandResult KillSwitch::pfctl(const std::vector<std::string>& args) {
    return m_context.runner.runCommand(m_context.locator.tool("pfctl"), args, std::nullopt,
                                       kPfctlTimeout);
}

bool KillSwitch::writeRuleset(const std::string& text) {
    std::error_code error;
    std::filesystem::create_directories(m_context.stagingRoot, error);
    if (error) {
        m_context.log("kill switch: failed to write ruleset: could not create " +
                      m_context.stagingRoot + ": " + error.message());
        return false;
    }
    try {
        writeFile(text, rulesetPath(), 0600);
    } catch (const EngineError& failure) {
        m_context.log("kill switch: failed to write ruleset: " + failure.message());
        return false;
    }
    return true;
}

void KillSwitch::takeEnableToken() {
    const CommandResult enabled = pfctl({"-E"});
    if (auto token = parseEnableToken(enabled.output)) {
        m_context.recordUndo("kill switch token", UndoStep::runTool("pfctl", {"-X", *token}));
        m_pfToken = std::move(token);
        return;
    }
    m_context.log("kill switch: could not parse pf enable token (output: " + enabled.output +
                  ") — pf may already be enabled");
}

void KillSwitch::reconcileKillSwitch(const std::vector<Tunnel*>& tunnels) {
    const bool wanted = std::any_of(tunnels.begin(), tunnels.end(), [](const Tunnel* tunnel) {
        return tunnel->profile.killSwitchEnabled;
    });
    if (!wanted) {
        deactivateKillSwitch();
        return;
    }
    if (!writeRuleset(rulesetText(tunnels))) {
        return;
    }
    m_context.recordUndo("kill switch", UndoStep::runTool("pfctl", {"-a", pfAnchor, "-F", "all"}));
    const CommandResult loaded = pfctl({"-a", pfAnchor, "-f", rulesetPath()});
    if (loaded.status != 0) {
        m_context.log("kill switch: pfctl load FAILED (exit " + std::to_string(loaded.status) +
                      "): " + loaded.output);
        for (Tunnel* tunnel : tunnels) {
            if (tunnel->profile.killSwitchEnabled) {
                tunnel->message = kFailureMessage;
            }
        }
        return;
    }
    if (!m_pfToken) {
        takeEnableToken();
    }
    if (!m_killSwitchLoaded) {
        m_killSwitchLoaded = true;
        m_context.log(std::string("kill switch ENGAGED (pf anchor ") + pfAnchor + ")");
    }
}

void KillSwitch::deactivateKillSwitch() {
    if (!m_killSwitchLoaded && !m_pfToken) {
        return;
    }
    pfctl({"-a", pfAnchor, "-F", "all"});
    m_context.forgetUndo("kill switch");
    if (m_pfToken) {
        pfctl({"-X", *m_pfToken});
        m_pfToken.reset();
        m_context.forgetUndo("kill switch token");
    }
    m_killSwitchLoaded = false;
    m_context.log("kill switch disengaged");
}

} // namespace torvane

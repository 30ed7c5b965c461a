#include "KillSwitch.h"

#include "EngineError.h"
#include "FileWriter.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <set>
#include <system_error>

namespace torvane {

namespace {

constexpr std::chrono::seconds kPfctlTimeout{30};
constexpr const char* kTokenMarker = "Token : ";
constexpr const char* kFailureMessage = "Kill switch failed to engage — see log";
constexpr const char* kTableKey = "kill switch";
constexpr const char* kTokenKey = "kill switch token";

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

std::string KillSwitch::rulesetText(const std::vector<Tunnel*>& tunnels,
                                    const std::vector<KillSwitchProfile>& held) {
    std::string text = "pass out quick on lo0 all\n";
    std::set<std::string> passedGateways;
    const auto passGateway = [&](const std::string& gateway) {
        if (isRuleWord(gateway)) {
            text += "pass out quick proto udp from any to " + gateway + " port {500, 4500}\n";
            text += "pass out quick proto esp from any to " + gateway + "\n";
            passedGateways.insert(gateway);
        }
    };
    for (const Tunnel* tunnel : tunnels) {
        if (tunnel->tun && isRuleWord(*tunnel->tun)) {
            text += "pass out quick on " + *tunnel->tun + " all\n";
        }
        passGateway(tunnel->remoteIP.value_or(tunnel->profile.remoteAddr));
    }
    // A held profile reconnecting has its gateway passed already.
    for (const auto& profile : held) {
        if (passedGateways.count(profile.gateway) == 0) {
            passGateway(profile.gateway);
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
        m_context.recordUndo(kTokenKey, UndoStep::runTool("pfctl", {"-X", *token}));
        m_pfToken = std::move(token);
        return;
    }
    m_context.log("kill switch: could not parse pf enable token (output: " + enabled.output +
                  ") — pf may already be enabled");
}

UndoStep KillSwitch::engagedStep(const std::vector<Tunnel*>& tunnels) const {
    UndoStep step = UndoStep::runTool("pfctl", {"-a", pfAnchor, "-F", "all"});
    if (m_holdUnknownProfiles) {
        // Held for someone unknown: the next daemon must not learn otherwise.
        return step;
    }
    std::vector<KillSwitchProfile> profiles = m_heldProfiles;
    for (const Tunnel* tunnel : tunnels) {
        const std::string id = tunnel->profile.id.upperText();
        if (tunnel->profile.killSwitchEnabled &&
            std::none_of(profiles.begin(), profiles.end(),
                         [&](const KillSwitchProfile& known) { return known.profileID == id; })) {
            profiles.push_back({id, tunnel->remoteIP.value_or(tunnel->profile.remoteAddr)});
        }
    }
    step.killSwitchProfiles = std::move(profiles);
    return step;
}

void KillSwitch::releaseProfilesThatAreBack(const std::vector<Tunnel*>& tunnels) {
    if (m_heldProfiles.empty()) {
        return;
    }
    for (const Tunnel* tunnel : tunnels) {
        // Only an interface lets the table pass the tunnel's traffic.
        if (tunnel->tun) {
            std::erase_if(m_heldProfiles, [&](const KillSwitchProfile& held) {
                return held.profileID == tunnel->profile.id.upperText();
            });
        }
    }
    if (!isHolding()) {
        m_context.log("kill switch hold ended: the tunnels that asked for it are back");
    }
}

void KillSwitch::reconcileKillSwitch(const std::vector<Tunnel*>& tunnels) {
    releaseProfilesThatAreBack(tunnels);
    const bool wanted =
        isHolding() || std::any_of(tunnels.begin(), tunnels.end(), [](const Tunnel* tunnel) {
            return tunnel->profile.killSwitchEnabled;
        });
    if (!wanted) {
        deactivateKillSwitch();
        return;
    }
    if (!writeRuleset(rulesetText(tunnels, m_heldProfiles))) {
        return;
    }
    m_context.recordUndo(kTableKey, engagedStep(tunnels));
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
    endHold();
    if (!m_killSwitchLoaded && !m_pfToken) {
        return;
    }
    pfctl({"-a", pfAnchor, "-F", "all"});
    m_context.forgetUndo(kTableKey);
    if (m_pfToken) {
        pfctl({"-X", *m_pfToken});
        m_pfToken.reset();
        m_context.forgetUndo(kTokenKey);
    }
    m_killSwitchLoaded = false;
    m_context.log("kill switch disengaged");
}

void KillSwitch::releaseWhateverIsLoaded() {
    endHold();
    if (m_killSwitchLoaded || m_pfToken) {
        deactivateKillSwitch();
        return;
    }
    // Flushing a table that is not there does nothing.
    pfctl({"-a", pfAnchor, "-F", "all"});
}

bool KillSwitch::ownsJournalKey(const std::string& key) {
    return key == kTableKey || key == kTokenKey;
}

bool KillSwitch::wasEngaged(const std::vector<std::pair<std::string, UndoStep>>& steps) {
    return std::any_of(steps.begin(), steps.end(),
                       [](const auto& entry) { return entry.first == kTableKey; });
}

void KillSwitch::holdAfterRestart(const std::vector<std::pair<std::string, UndoStep>>& steps) {
    std::optional<std::vector<KillSwitchProfile>> profiles;
    for (const auto& [key, step] : steps) {
        if (key == kTableKey) {
            profiles = step.killSwitchProfiles;
        } else if (key == kTokenKey && step.args.size() == 2 && !step.args[1].empty()) {
            m_pfToken = step.args[1];
            m_context.recordUndo(kTokenKey, step);
        }
    }
    m_killSwitchLoaded = true;
    if (profiles && !profiles->empty()) {
        m_heldProfiles = std::move(*profiles);
        m_context.log("kill switch held after a restart: traffic stays blocked until its tunnels "
                      "reconnect or Disconnect All");
        // The dead tunnels' interfaces go; a failed load keeps the old table,
        // which blocks as much.
        reconcileKillSwitch({});
        return;
    }
    m_holdUnknownProfiles = true;
    m_context.recordUndo(kTableKey, engagedStep({}));
    m_context.log("kill switch held after a restart: traffic stays blocked until Disconnect All "
                  "(the journal names no profiles)");
}

bool KillSwitch::forgetHeldProfile(const Uuid& profileID) {
    const bool wasHeld = std::erase_if(m_heldProfiles, [&](const KillSwitchProfile& held) {
                             return held.profileID == profileID.upperText();
                         }) > 0;
    if (wasHeld && !isHolding()) {
        m_context.log("kill switch hold lifted: its profiles were stopped");
    }
    return wasHeld;
}

void KillSwitch::endHold() {
    if (!isHolding()) {
        return;
    }
    m_heldProfiles.clear();
    m_holdUnknownProfiles = false;
    m_context.log("kill switch hold lifted");
}

} // namespace torvane

#include "helper/strongswan/SwanctlOutput.h"

#include "shared/TextPieces.h"

namespace torvane {

namespace {

std::optional<std::string> lastWord(std::string_view line) {
    const auto words = splitText(line, " ");
    if (words.empty()) {
        return std::nullopt;
    }
    return std::string(words.back());
}

bool contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

} // namespace

TunnelInfo parseTunnelInfo(std::string_view initiateOutput) {
    TunnelInfo info;
    for (const auto line : splitText(initiateOutput, "\n")) {
        if (contains(line, "installing new virtual IP")) {
            if (auto word = lastWord(line)) {
                info.vip = std::move(word);
            }
        }
        if (contains(line, "created TUN device")) {
            if (auto word = lastWord(line)) {
                info.tun = std::move(word);
            }
        }
    }
    return info;
}

} // namespace torvane

#include "SwanctlOutput.h"

#include "TextPieces.h"

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

SAListingInfo parseSAListing(std::string_view listing) {
    static constexpr std::string_view kSeparator = " @ ";
    SAListingInfo info;
    for (const auto rawLine : splitText(listing, "\n")) {
        const auto line = trimmedText(rawLine);
        const auto at = line.rfind(kSeparator);
        if (at == std::string_view::npos) {
            continue;
        }
        const auto after = line.substr(at + kSeparator.size());
        if (line.starts_with("local")) {
            const auto pieces = splitText(after, " ");
            // "[]" carries no address; an empty virtual IP would read as known.
            if (pieces.size() >= 2 && pieces[1].size() > 2 && pieces[1].starts_with('[') &&
                pieces[1].ends_with(']') && !info.vip) {
                info.vip = std::string(pieces[1].substr(1, pieces[1].size() - 2));
            }
        } else if (line.starts_with("remote")) {
            const auto pieces = splitText(after, "[");
            const auto host = pieces.empty() ? std::string_view() : trimmedText(pieces[0]);
            if (!host.empty()) {
                info.remoteIP = std::string(host);
            }
        }
    }
    return info;
}

bool listingShowsEstablishedAndInstalled(std::string_view listing) {
    return contains(listing, "ESTABLISHED") && contains(listing, "INSTALLED");
}

bool childSAInstalled(std::string_view strongswanName, std::string_view unfilteredListing) {
    const std::string prefix = std::string(strongswanName) + ": #";
    bool established = false;
    bool installed = false;
    for (const auto rawLine : splitText(unfilteredListing, "\n")) {
        const auto line = trimmedText(rawLine);
        if (!line.starts_with(prefix)) {
            continue;
        }
        established = established || contains(line, "ESTABLISHED");
        installed = installed || contains(line, "INSTALLED");
    }
    return established && installed;
}

} // namespace torvane

#include "RouteOutput.h"

#include "TextPieces.h"

namespace torvane {

std::optional<std::string> routeGetInterface(std::string_view output,
                                             std::string_view interfacePrefix) {
    static constexpr std::string_view kLabel = "interface:";
    for (const auto rawLine : splitText(output, "\n")) {
        const auto line = trimmedText(rawLine);
        if (!line.starts_with(kLabel)) {
            continue;
        }
        const auto name = trimmedText(line.substr(kLabel.size()));
        if (!name.empty() && name.starts_with(interfacePrefix)) {
            return std::string(name);
        }
    }
    return std::nullopt;
}

std::optional<HostRouteInterface>
netstatHostRouteInterface(std::string_view output, std::string_view interfacePrefix,
                          const std::set<std::string>& excludedInterfaces) {
    for (const auto line : splitText(output, "\n")) {
        const auto pieces = splitText(line, " ");
        if (pieces.size() < 4) {
            continue;
        }
        const auto destination = pieces[0];
        const auto gateway = pieces[1];
        const auto flags = pieces[2];
        const auto interfaceName = pieces[3];
        if (flags.find('H') == std::string_view::npos ||
            flags.find('L') != std::string_view::npos) {
            continue;
        }
        if (!interfaceName.starts_with(interfacePrefix) || destination != gateway ||
            excludedInterfaces.contains(std::string(interfaceName))) {
            continue;
        }
        return HostRouteInterface{std::string(interfaceName), std::string(destination)};
    }
    return std::nullopt;
}

} // namespace torvane

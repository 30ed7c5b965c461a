#include "Torvane/core/ProfileRules.h"

#include "shared/TextPieces.h"

#include <algorithm>

namespace torvane {

bool isFilledIn(std::string_view text) {
    return !trimmedText(text).empty();
}

bool isNameTaken(const std::vector<VPNProfile>& profiles, std::string_view name,
                 std::optional<Uuid> self) {
    return std::any_of(profiles.begin(), profiles.end(), [&](const VPNProfile& other) {
        return other.name == name && (!self || other.id != *self);
    });
}

std::vector<std::string> splitProfileList(std::string_view text) {
    std::vector<std::string> items;
    for (const auto piece : splitText(text, ", \n")) {
        if (const auto item = trimmedText(piece); !item.empty()) {
            items.emplace_back(item);
        }
    }
    return items;
}

} // namespace torvane

#pragma once

#include "shared/Uuid.h"
#include "shared/VPNProfile.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace torvane {

/// The rules a profile's fields follow wherever a person edits them (the
/// editor form, torvanectl), so that both read what is typed the same way.

/// A field the profile cannot do without (its name, its server) holds more
/// than spaces and tabs.
bool isFilledIn(std::string_view text);

/// Another profile than `self` already carries exactly `name`.
bool isNameTaken(const std::vector<VPNProfile>& profiles, std::string_view name,
                 std::optional<Uuid> self = std::nullopt);

/// A list field (routes, DNS servers, search domains) as typed: items
/// separated by commas, spaces or line breaks, each trimmed of spaces and
/// tabs; empty items dropped, the order kept.
std::vector<std::string> splitProfileList(std::string_view text);

} // namespace torvane

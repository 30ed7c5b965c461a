#pragma once

#include <string_view>
#include <vector>

namespace torvane {

/// `text` without leading and trailing spaces and tabs.
std::string_view trimSpacesAndTabs(std::string_view text);

/// `text` cut at every `separator`, empty pieces dropped. The pieces point
/// into `text`.
std::vector<std::string_view> splitDroppingEmpty(std::string_view text, char separator);

} // namespace torvane

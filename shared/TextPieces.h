#pragma once

#include <string_view>
#include <vector>

namespace torvane {

/// What profile fields and most tool output are padded with.
inline constexpr std::string_view kSpacesAndTabs = " \t";
/// Every ASCII whitespace character, line breaks included.
inline constexpr std::string_view kAsciiWhitespace = " \t\n\v\f\r";

/// `text` without its leading and trailing characters that are in `blanks`.
/// The result points into `text`.
std::string_view trimmedText(std::string_view text, std::string_view blanks = kSpacesAndTabs);

/// `text` cut at every character that is in `separators`, empty pieces
/// dropped. The pieces point into `text`.
std::vector<std::string_view> splitText(std::string_view text, std::string_view separators);

} // namespace torvane

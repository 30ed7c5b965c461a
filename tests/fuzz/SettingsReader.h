#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace torvane::testing {

/// Every key of a settings file with its value, as "section.sub.key" paths
/// in file order.
using SettingsEntries = std::vector<std::pair<std::string, std::string>>;

/// Reads strongSwan's settings syntax the way its parser was measured to
/// (swanctl 5.9.8): sections "name {" … "}", "key = value" lines, unquoted
/// values trimmed, double-quoted values with the escapes \" \\ \n \r \t,
/// backslash-newline and backslash-anything. Stricter than strongSwan: a
/// value that mixes quoted and unquoted text, a comment, or an unquoted
/// value holding '"', '#', '{' or '}' is an error, so anything a renderer
/// should never produce shows up as nothing.
std::optional<SettingsEntries> readSettings(std::string_view text);

} // namespace torvane::testing

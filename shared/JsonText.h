#pragma once

#include "shared/DecodeError.h"
#include "shared/Expected.h"

#include <string>
#include <string_view>

#include <nlohmann/json_fwd.hpp>

namespace torvane {

/// Deepest nesting of arrays and objects accepted from outside. Our records
/// nest three levels; the margin admits foreign keys with structure while
/// keeping hostile input ("[[[[…") from building a huge tree.
inline constexpr int kMaxJsonDepth = 64;

/// Parses JSON text from outside the process. Never throws: syntax errors,
/// invalid UTF-8 and excessive nesting come back as a DecodeError that does
/// not quote the input.
Expected<nlohmann::json, DecodeError> parseJsonText(std::string_view text);

/// Compact JSON text the way our reference encoder writes it: no spaces, and
/// every "/" escaped as "\/". Never throws: invalid UTF-8 in a string is
/// replaced by U+FFFD.
std::string encodeJsonText(const nlohmann::json& value);

} // namespace torvane

#pragma once

#include <string>
#include <string_view>

namespace torvane {

/// True when `bytes` is well-formed UTF-8 (no overlong forms, surrogates or
/// code points above U+10FFFF).
bool isValidUtf8(std::string_view bytes);

/// The text a finished program's output stands for: the bytes as UTF-8, or
/// the empty string when they are not valid UTF-8, with leading and trailing
/// whitespace and line breaks (Unicode's, not only ASCII's) removed. Inner
/// line breaks stay, so callers can split the result into lines.
std::string commandOutputText(std::string_view bytes);

} // namespace torvane

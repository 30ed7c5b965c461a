#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace torvane {

/// Standard Base64 (RFC 4648 alphabet, '=' padding, no line breaks).
std::string base64Encode(std::string_view bytes);

/// Strict decoding: the length must be a multiple of four, only the standard
/// alphabet may appear, and '=' only as one or two final padding characters.
/// Whitespace, URL-safe characters and missing padding are rejected.
std::optional<std::string> base64Decode(std::string_view text);

} // namespace torvane

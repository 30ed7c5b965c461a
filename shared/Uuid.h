#pragma once

#include <array>
#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace torvane {

/// A 128-bit profile identifier. Its text form is the canonical 36-character
/// hyphenated hexadecimal; it is written upper-case on the wire and in status
/// records, lower-case in strongSwan names and staged file names.
class Uuid {
public:
    /// A fresh random (version 4) identifier.
    static Uuid random();
    /// Parses the canonical 36-character form, hex digits in either case.
    /// Anything else (braces, missing hyphens, other lengths) gives nothing.
    static std::optional<Uuid> parse(std::string_view text);

    std::string upperText() const;
    std::string lowerText() const;

    friend auto operator<=>(const Uuid&, const Uuid&) = default;

private:
    Uuid() = default;
    std::array<std::uint8_t, 16> m_bytes{};
};

} // namespace torvane

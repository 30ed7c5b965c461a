#include "shared/Uuid.h"

#include <cctype>
#include <uuid/uuid.h>

namespace torvane {

Uuid Uuid::random() {
    Uuid uuid;
    uuid_generate_random(uuid.m_bytes.data());
    return uuid;
}

std::optional<Uuid> Uuid::parse(std::string_view text) {
    // Checked here rather than trusting uuid_parse's own checks, which stop at
    // an embedded NUL and have varied between library versions.
    if (text.size() != 36) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool hyphenPosition = i == 8 || i == 13 || i == 18 || i == 23;
        const auto c = static_cast<unsigned char>(text[i]);
        if (hyphenPosition ? c != '-' : !std::isxdigit(c)) {
            return std::nullopt;
        }
    }
    const std::string terminated(text);
    Uuid uuid;
    if (uuid_parse(terminated.c_str(), uuid.m_bytes.data()) != 0) {
        return std::nullopt;
    }
    return uuid;
}

std::string Uuid::upperText() const {
    char buffer[37];
    uuid_unparse_upper(m_bytes.data(), buffer);
    return buffer;
}

std::string Uuid::lowerText() const {
    char buffer[37];
    uuid_unparse_lower(m_bytes.data(), buffer);
    return buffer;
}

} // namespace torvane

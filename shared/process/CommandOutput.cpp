#include "shared/process/CommandOutput.h"

#include <cstdint>

namespace torvane {

namespace {

/// Decodes the code point starting at `pos`; returns its length in bytes, or
/// 0 when the sequence there is malformed.
std::size_t decodeAt(std::string_view bytes, std::size_t pos, char32_t& codePoint) {
    const auto byte = [&](std::size_t i) {
        return static_cast<std::uint8_t>(bytes[i]);
    };
    const std::uint8_t lead = byte(pos);
    std::size_t length = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2;
        codePoint = lead & 0x1F;
        minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        codePoint = lead & 0x0F;
        minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        codePoint = lead & 0x07;
        minimum = 0x10000;
    } else {
        return 0;
    }
    if (pos + length > bytes.size()) {
        return 0;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(pos + i) & 0xC0) != 0x80) {
            return 0;
        }
        codePoint = (codePoint << 6) | (byte(pos + i) & 0x3F);
    }
    if (codePoint < minimum || codePoint > 0x10FFFF ||
        (codePoint >= 0xD800 && codePoint <= 0xDFFF)) {
        return 0;
    }
    return length;
}

bool isWhitespaceOrNewline(char32_t c) {
    switch (c) {
    case 0x09:
    case 0x0A:
    case 0x0B:
    case 0x0C:
    case 0x0D:
    case 0x20:
    case 0x85:
    case 0xA0:
    case 0x1680:
    case 0x2028:
    case 0x2029:
    case 0x202F:
    case 0x205F:
    case 0x3000:
        return true;
    default:
        return c >= 0x2000 && c <= 0x200A;
    }
}

} // namespace

bool isValidUtf8(std::string_view bytes) {
    char32_t codePoint = 0;
    for (std::size_t pos = 0; pos < bytes.size();) {
        const std::size_t length = decodeAt(bytes, pos, codePoint);
        if (length == 0) {
            return false;
        }
        pos += length;
    }
    return true;
}

std::string commandOutputText(std::string_view bytes) {
    if (!isValidUtf8(bytes)) {
        return {};
    }
    // Walk the code points once, remembering where the first and the last
    // non-blank one sit.
    std::size_t begin = bytes.size();
    std::size_t end = 0;
    char32_t codePoint = 0;
    for (std::size_t pos = 0; pos < bytes.size();) {
        const std::size_t length = decodeAt(bytes, pos, codePoint);
        if (!isWhitespaceOrNewline(codePoint)) {
            if (begin == bytes.size()) {
                begin = pos;
            }
            end = pos + length;
        }
        pos += length;
    }
    if (begin >= end) {
        return {};
    }
    return std::string(bytes.substr(begin, end - begin));
}

} // namespace torvane

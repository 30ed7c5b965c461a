#include "shared/Base64.h"

#include <array>
#include <cstdint>

namespace torvane {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::array<std::int8_t, 256> makeReverseTable() {
    std::array<std::int8_t, 256> table{};
    for (auto& entry : table) {
        entry = -1;
    }
    for (int i = 0; i < 64; ++i) {
        table[static_cast<unsigned char>(kAlphabet[i])] = static_cast<std::int8_t>(i);
    }
    return table;
}

constexpr auto kReverse = makeReverseTable();

} // namespace

std::string base64Encode(std::string_view bytes) {
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const std::uint32_t n = static_cast<std::uint8_t>(bytes[i]) << 16 |
                                static_cast<std::uint8_t>(bytes[i + 1]) << 8 |
                                static_cast<std::uint8_t>(bytes[i + 2]);
        out += kAlphabet[n >> 18 & 63];
        out += kAlphabet[n >> 12 & 63];
        out += kAlphabet[n >> 6 & 63];
        out += kAlphabet[n & 63];
    }
    const std::size_t rest = bytes.size() - i;
    if (rest > 0) {
        std::uint32_t n = static_cast<std::uint8_t>(bytes[i]) << 16;
        if (rest == 2) {
            n |= static_cast<std::uint8_t>(bytes[i + 1]) << 8;
        }
        out += kAlphabet[n >> 18 & 63];
        out += kAlphabet[n >> 12 & 63];
        out += rest == 2 ? kAlphabet[n >> 6 & 63] : '=';
        out += '=';
    }
    return out;
}

std::optional<std::string> base64Decode(std::string_view text) {
    if (text.size() % 4 != 0) {
        return std::nullopt;
    }
    std::size_t padding = 0;
    if (!text.empty() && text.back() == '=') {
        padding = text.size() >= 2 && text[text.size() - 2] == '=' ? 2 : 1;
    }
    std::string out;
    out.reserve(text.size() / 4 * 3);
    for (std::size_t i = 0; i < text.size(); i += 4) {
        const bool lastGroup = i + 4 == text.size();
        std::uint32_t n = 0;
        for (std::size_t j = 0; j < 4; ++j) {
            const auto c = static_cast<unsigned char>(text[i + j]);
            if (lastGroup && j >= 4 - padding) {
                n <<= 6; // the '=' checked by the padding count above
                continue;
            }
            const std::int8_t value = kReverse[c];
            if (value < 0) {
                return std::nullopt;
            }
            n = n << 6 | static_cast<std::uint32_t>(value);
        }
        out += static_cast<char>(n >> 16 & 0xFF);
        if (!(lastGroup && padding == 2)) {
            out += static_cast<char>(n >> 8 & 0xFF);
        }
        if (!(lastGroup && padding >= 1)) {
            out += static_cast<char>(n & 0xFF);
        }
    }
    return out;
}

} // namespace torvane

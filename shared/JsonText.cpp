#include "shared/JsonText.h"

#include <nlohmann/json.hpp>

namespace torvane {
namespace {

// Reports whether arrays and objects nest deeper than the limit, looking only
// at brackets outside strings. Run before parsing so that a deep input is
// refused before any tree is built.
bool nestsTooDeep(std::string_view text) {
    int depth = 0;
    bool inString = false;
    bool escaped = false;
    for (const char c : text) {
        if (inString) {
            if (escaped) {
                escaped = false;
            } else if (c == '\\') {
                escaped = true;
            } else if (c == '"') {
                inString = false;
            }
            continue;
        }
        if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > kMaxJsonDepth) {
                return true;
            }
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return false;
}

} // namespace

Expected<nlohmann::json, DecodeError> parseJsonText(std::string_view text) {
    if (nestsTooDeep(text)) {
        return Unexpected{DecodeError{"the JSON nests more than " + std::to_string(kMaxJsonDepth) +
                                      " levels deep"}};
    }
    try {
        return nlohmann::json::parse(text.begin(), text.end());
    } catch (const nlohmann::json::parse_error& error) {
        return Unexpected{
            DecodeError{"the data is not valid JSON (at byte " + std::to_string(error.byte) + ")"}};
    } catch (const std::exception&) {
        return Unexpected{DecodeError{"the data could not be read as JSON"}};
    }
}

std::string encodeJsonText(const nlohmann::json& value) {
    const std::string compact =
        value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    // A "/" can only occur inside a string in compact output, so escaping
    // every one of them is exact.
    std::string escaped;
    escaped.reserve(compact.size() + compact.size() / 16);
    for (const char c : compact) {
        if (c == '/') {
            escaped += '\\';
        }
        escaped += c;
    }
    return escaped;
}

} // namespace torvane

#include "shared/protocol/WireJson.h"

#include "shared/Base64.h"
#include "shared/JsonText.h"
#include "shared/protocol/LineFramer.h"

#include <nlohmann/json.hpp>

namespace torvane::protocol::detail {

Expected<nlohmann::json, ProtocolError> parseWireObject(std::string_view line) {
    if (line.size() > kMaxLineBytes) {
        return Unexpected{ProtocolError{"the line is longer than the limit"}};
    }
    auto json = parseJsonText(line);
    if (!json) {
        return Unexpected{ProtocolError{json.error().message}};
    }
    if (!json->is_object()) {
        return Unexpected{ProtocolError{"the line is not a JSON object"}};
    }
    return std::move(*json);
}

Expected<std::string, ProtocolError> frameWireObject(const nlohmann::json& object) {
    std::string line = object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    if (line.size() > kMaxLineBytes) {
        return Unexpected{ProtocolError{"the message is larger than the 1 MiB line limit"}};
    }
    line += '\n';
    return line;
}

Expected<std::string, ProtocolError> base64Argument(const nlohmann::json& object, const char* key) {
    const auto it = object.find(key);
    if (it == object.end() || !it->is_string()) {
        return Unexpected{ProtocolError{std::string("missing or non-string \"") + key + "\""}};
    }
    auto bytes = base64Decode(it->get_ref<const std::string&>());
    if (!bytes) {
        return Unexpected{ProtocolError{std::string("\"") + key + "\" is not valid Base64"}};
    }
    return std::move(*bytes);
}

} // namespace torvane::protocol::detail

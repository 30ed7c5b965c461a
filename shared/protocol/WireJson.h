#pragma once

// JSON helpers shared by the request and reply codecs; not part of the
// protocol library's interface.

#include "shared/Expected.h"
#include "shared/protocol/ProtocolError.h"

#include <string>
#include <string_view>

#include <nlohmann/json_fwd.hpp>

namespace torvane::protocol::detail {

/// Parses a wire line that must hold a JSON object.
Expected<nlohmann::json, ProtocolError> parseWireObject(std::string_view line);

/// Compact text plus "\n", or an error when it exceeds the line limit.
Expected<std::string, ProtocolError> frameWireObject(const nlohmann::json& object);

/// The value of `key` as a string decoded from Base64, or an error naming it.
Expected<std::string, ProtocolError> base64Argument(const nlohmann::json& object, const char* key);

} // namespace torvane::protocol::detail

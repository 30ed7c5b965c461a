#pragma once

#include "shared/Expected.h"
#include "shared/protocol/HelperCall.h"
#include "shared/protocol/ProtocolError.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace torvane::protocol {

/// One command from a client. Only the arguments of `call` are meaningful:
/// start carries `configData` and `secrets`, stop `profileID`, setPriorities
/// `profileIDs`. Byte buffers travel as standard Base64.
struct Request {
    std::int64_t id = 0;
    HelperCall call = HelperCall::getVersion;
    /// JSON of a VPNProfile (bytes).
    std::string configData;
    /// JSON of a VPNSecrets (bytes).
    std::string secrets;
    std::string profileID;
    std::vector<std::string> profileIDs;

    friend bool operator==(const Request&, const Request&) = default;
};

/// The request as one wire line, "\n" included. Fails when the line would
/// exceed the line limit (the helper would close the connection on it).
Expected<std::string, ProtocolError> encodeRequest(const Request& request);

/// Reads one wire line (without "\n"). An unknown selector, a missing or
/// mistyped argument, bad Base64 or malformed JSON is an error; extra keys
/// are ignored.
Expected<Request, ProtocolError> parseRequest(std::string_view line);

} // namespace torvane::protocol

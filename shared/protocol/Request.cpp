#include "shared/protocol/Request.h"

#include "shared/Base64.h"
#include "shared/JsonFields.h"
#include "shared/protocol/WireJson.h"

#include <nlohmann/json.hpp>

namespace torvane::protocol {

Expected<std::string, ProtocolError> encodeRequest(const Request& request) {
    nlohmann::json object{{"id", request.id}, {"call", selector(request.call)}};
    switch (request.call) {
    case HelperCall::start:
        object["configData"] = base64Encode(request.configData);
        object["secrets"] = base64Encode(request.secrets);
        break;
    case HelperCall::stop:
        object["profileID"] = request.profileID;
        break;
    case HelperCall::setPriorities:
        object["profileIDs"] = request.profileIDs;
        break;
    default:
        break;
    }
    return detail::frameWireObject(object);
}

Expected<Request, ProtocolError> parseRequest(std::string_view line) {
    auto parsed = detail::parseWireObject(line);
    if (!parsed) {
        return Unexpected{parsed.error()};
    }
    const nlohmann::json& object = *parsed;

    Request request;
    std::string callText;
    FieldReader fields(object);
    fields.require("id", request.id);
    fields.require("call", callText);
    if (fields.failed()) {
        return Unexpected{ProtocolError{fields.error().message}};
    }
    const auto call = callFromSelector(callText);
    if (!call) {
        return Unexpected{ProtocolError{"unknown selector"}};
    }
    request.call = *call;

    switch (request.call) {
    case HelperCall::start: {
        auto config = detail::base64Argument(object, "configData");
        if (!config) {
            return Unexpected{config.error()};
        }
        auto secrets = detail::base64Argument(object, "secrets");
        if (!secrets) {
            return Unexpected{secrets.error()};
        }
        request.configData = std::move(*config);
        request.secrets = std::move(*secrets);
        break;
    }
    case HelperCall::stop:
        fields.require("profileID", request.profileID);
        break;
    case HelperCall::setPriorities:
        fields.require("profileIDs", request.profileIDs);
        break;
    default:
        break;
    }
    if (fields.failed()) {
        return Unexpected{ProtocolError{fields.error().message}};
    }
    return request;
}

} // namespace torvane::protocol

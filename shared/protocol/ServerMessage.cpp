#include "shared/protocol/ServerMessage.h"

#include "shared/Base64.h"
#include "shared/protocol/WireJson.h"

#include <nlohmann/json.hpp>

namespace torvane::protocol {
namespace {

nlohmann::json replyValues(const Reply& reply) {
    struct Visitor {
        nlohmann::json operator()(const VersionReply& r) const {
            return nlohmann::json::array({r.version});
        }
        nlohmann::json operator()(const SubscribeReply& r) const {
            return nlohmann::json::array({r.subscribed});
        }
        nlohmann::json operator()(const CommandReply& r) const {
            return nlohmann::json::array({r.code, r.message});
        }
        nlohmann::json operator()(const EmptyReply&) const { return nlohmann::json::array(); }
        nlohmann::json operator()(const StatusReply& r) const {
            return nlohmann::json::array({base64Encode(r.data)});
        }
        nlohmann::json operator()(const ErrorReply&) const { return nlohmann::json::array(); }
        nlohmann::json operator()(const LeakCheckReply& r) const {
            return nlohmann::json::array({base64Encode(r.data)});
        }
        nlohmann::json operator()(const ManagedProfilesReply& r) const {
            return nlohmann::json::array({base64Encode(r.data)});
        }
    };
    return std::visit(Visitor{}, reply);
}

std::optional<WireValue> wireValue(const nlohmann::json& element) {
    if (element.is_boolean()) {
        return element.get<bool>();
    }
    if (element.is_number_unsigned()) {
        const auto n = element.get<std::uint64_t>();
        if (n > static_cast<std::uint64_t>(INT64_MAX)) {
            return std::nullopt;
        }
        return static_cast<std::int64_t>(n);
    }
    if (element.is_number_integer()) {
        return element.get<std::int64_t>();
    }
    if (element.is_string()) {
        return element.get<std::string>();
    }
    return std::nullopt;
}

Expected<ServerMessage, ProtocolError> parseCallback(const nlohmann::json& object) {
    const auto& name = object["callback"];
    if (name == "statusChanged:") {
        auto data = detail::base64Argument(object, "data");
        if (!data) {
            return Unexpected{data.error()};
        }
        return ServerMessage{Callback{StatusChanged{std::move(*data)}}};
    }
    if (name == "logLine:") {
        const auto it = object.find("line");
        if (it == object.end() || !it->is_string()) {
            return Unexpected{ProtocolError{"missing or non-string \"line\""}};
        }
        return ServerMessage{Callback{LogLine{it->get<std::string>()}}};
    }
    return Unexpected{ProtocolError{"unknown callback"}};
}

Expected<ServerMessage, ProtocolError> parseReplyMessage(const nlohmann::json& object) {
    const auto id = object.find("id");
    const auto reply = object.find("reply");
    if (id == object.end() || !id->is_number_integer() ||
        (id->is_number_unsigned() && id->get<std::uint64_t>() > INT64_MAX)) {
        return Unexpected{ProtocolError{"missing or non-integer \"id\""}};
    }
    if (const auto error = object.find("error"); error != object.end()) {
        if (!error->is_string() || reply != object.end()) {
            return Unexpected{ProtocolError{"an error reply needs a string \"error\" alone"}};
        }
        return ServerMessage{ReplyMessage{id->get<std::int64_t>(), {}, error->get<std::string>()}};
    }
    if (reply == object.end() || !reply->is_array()) {
        return Unexpected{ProtocolError{"missing or non-array \"reply\""}};
    }
    ReplyMessage message{id->get<std::int64_t>(), {}, std::nullopt};
    for (const auto& element : *reply) {
        auto value = wireValue(element);
        if (!value) {
            return Unexpected{ProtocolError{"a reply value is not a boolean, integer or string"}};
        }
        message.values.push_back(std::move(*value));
    }
    return ServerMessage{std::move(message)};
}

// The types the values of a reply must have, in order.
template <class... T> bool hasShape(const std::vector<WireValue>& values) {
    if (values.size() != sizeof...(T)) {
        return false;
    }
    std::size_t i = 0;
    return (std::holds_alternative<T>(values[i++]) && ...);
}

} // namespace

Expected<std::string, ProtocolError> encodeReply(std::int64_t id, const Reply& reply) {
    if (const auto* error = std::get_if<ErrorReply>(&reply)) {
        return detail::frameWireObject(nlohmann::json{{"id", id}, {"error", error->message}});
    }
    return detail::frameWireObject(nlohmann::json{{"id", id}, {"reply", replyValues(reply)}});
}

Expected<std::string, ProtocolError> encodeCallback(const Callback& callback) {
    if (const auto* status = std::get_if<StatusChanged>(&callback)) {
        return detail::frameWireObject(
            nlohmann::json{{"callback", "statusChanged:"}, {"data", base64Encode(status->data)}});
    }
    return detail::frameWireObject(
        nlohmann::json{{"callback", "logLine:"}, {"line", std::get<LogLine>(callback).line}});
}

Expected<ServerMessage, ProtocolError> parseServerMessage(std::string_view line) {
    auto parsed = detail::parseWireObject(line);
    if (!parsed) {
        return Unexpected{parsed.error()};
    }
    const auto callback = parsed->find("callback");
    if (callback != parsed->end()) {
        if (!callback->is_string()) {
            return Unexpected{ProtocolError{"non-string \"callback\""}};
        }
        return parseCallback(*parsed);
    }
    return parseReplyMessage(*parsed);
}

Expected<Reply, ProtocolError> decodeReply(HelperCall call, const ReplyMessage& message) {
    const auto& v = message.values;
    const auto wrongShape = [call] {
        return Unexpected{ProtocolError{"the reply to " + std::string(selector(call)) +
                                        " does not have the expected values"}};
    };
    if (message.error) {
        return Reply{ErrorReply{*message.error}};
    }
    switch (call) {
    case HelperCall::getVersion:
        if (!hasShape<std::string>(v)) {
            return wrongShape();
        }
        return Reply{VersionReply{std::get<std::string>(v[0])}};
    case HelperCall::subscribe:
        if (!hasShape<bool>(v)) {
            return wrongShape();
        }
        return Reply{SubscribeReply{std::get<bool>(v[0])}};
    case HelperCall::start:
    case HelperCall::stop:
    case HelperCall::stopAll:
    case HelperCall::forceKillAll:
        if (!hasShape<std::int64_t, std::string>(v)) {
            return wrongShape();
        }
        return Reply{CommandReply{std::get<std::int64_t>(v[0]), std::get<std::string>(v[1])}};
    case HelperCall::setPriorities:
    case HelperCall::terminate:
        if (!v.empty()) {
            return wrongShape();
        }
        return Reply{EmptyReply{}};
    case HelperCall::status:
    case HelperCall::leakCheck:
    case HelperCall::managedProfiles: {
        if (!hasShape<std::string>(v)) {
            return wrongShape();
        }
        auto data = base64Decode(std::get<std::string>(v[0]));
        if (!data) {
            return Unexpected{ProtocolError{"the reply to " + std::string(selector(call)) +
                                            " is not valid Base64"}};
        }
        if (call == HelperCall::leakCheck) {
            return Reply{LeakCheckReply{std::move(*data)}};
        }
        if (call == HelperCall::managedProfiles) {
            return Reply{ManagedProfilesReply{std::move(*data)}};
        }
        return Reply{StatusReply{std::move(*data)}};
    }
    }
    return wrongShape();
}

} // namespace torvane::protocol

#include "OutputFormat.h"

#include "JsonText.h"

#include <variant>

#include <nlohmann/json.hpp>

namespace torvane::testclient {

std::string oneLine(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else {
            out += c;
        }
    }
    return out;
}

std::string formatReply(Command command, const protocol::Reply& reply) {
    const std::string head = std::string("reply ") + commandName(command);
    struct Visitor {
        const std::string& head;
        std::string operator()(const protocol::VersionReply& r) const {
            return head + " " + oneLine(r.version);
        }
        std::string operator()(const protocol::SubscribeReply& r) const {
            return head + (r.subscribed ? " true" : " false");
        }
        std::string operator()(const protocol::CommandReply& r) const {
            return head + " " + std::to_string(r.code) + " " + oneLine(r.message);
        }
        std::string operator()(const protocol::EmptyReply&) const { return head; }
        std::string operator()(const protocol::StatusReply& r) const {
            return "status " + oneLine(r.data);
        }
        std::string operator()(const protocol::ErrorReply& r) const {
            return head + " error " + oneLine(r.message);
        }
    };
    return std::visit(Visitor{head}, reply);
}

std::string formatCallback(const protocol::Callback& callback) {
    if (const auto* status = std::get_if<protocol::StatusChanged>(&callback)) {
        return "callback statusChanged " + oneLine(status->data);
    }
    return "callback logLine " + oneLine(std::get<protocol::LogLine>(callback).line);
}

std::string formatRawReply(const protocol::ReplyMessage& message) {
    if (message.error) {
        return "reply raw error " + oneLine(*message.error);
    }
    nlohmann::json values = nlohmann::json::array();
    for (const auto& value : message.values) {
        std::visit([&values](const auto& v) { values.push_back(v); }, value);
    }
    return "reply raw " + encodeJsonText(values);
}

} // namespace torvane::testclient

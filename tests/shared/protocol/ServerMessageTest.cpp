#include "shared/protocol/ServerMessage.h"

#include <gtest/gtest.h>

using namespace torvane::protocol;
using torvane::Expected;

namespace {

std::string lineOf(const Expected<std::string, ProtocolError>& encoded) {
    EXPECT_TRUE(encoded.hasValue());
    return encoded ? encoded->substr(0, encoded->size() - 1) : std::string{};
}

ReplyMessage replyMessage(const std::string& line) {
    const auto parsed = parseServerMessage(line);
    EXPECT_TRUE(parsed.hasValue()) << line;
    if (!parsed || !std::holds_alternative<ReplyMessage>(*parsed)) {
        ADD_FAILURE() << "not a reply: " << line;
        return {};
    }
    return std::get<ReplyMessage>(*parsed);
}

} // namespace

TEST(ServerMessage, RepliesHaveTheirWireShapeAndDecodeForTheirCall) {
    struct Case {
        HelperCall call;
        Reply reply;
        std::string wire;
    };
    const Case cases[] = {
        {HelperCall::getVersion, VersionReply{"0.1.1"}, R"({"id":5,"reply":["0.1.1"]})"},
        {HelperCall::subscribe, SubscribeReply{true}, R"({"id":5,"reply":[true]})"},
        {HelperCall::start, CommandReply{-2, "Invalid configuration: x"},
         R"({"id":5,"reply":[-2,"Invalid configuration: x"]})"},
        {HelperCall::stopAll, CommandReply{0, "Disconnected"},
         R"({"id":5,"reply":[0,"Disconnected"]})"},
        {HelperCall::setPriorities, EmptyReply{}, R"({"id":5,"reply":[]})"},
        {HelperCall::terminate, EmptyReply{}, R"({"id":5,"reply":[]})"},
        {HelperCall::status, StatusReply{R"({"tunnels":[]})"},
         R"({"id":5,"reply":["eyJ0dW5uZWxzIjpbXX0="]})"},
        {HelperCall::status, StatusReply{""}, R"({"id":5,"reply":[""]})"},
        {HelperCall::leakCheck, LeakCheckReply{"[]"}, R"({"id":5,"reply":["W10="]})"},
        // A refusal answers any call, whatever its own reply looks like.
        {HelperCall::setPriorities, ErrorReply{"Not authorized: x"},
         R"({"error":"Not authorized: x","id":5})"},
        {HelperCall::start, ErrorReply{"no"}, R"({"error":"no","id":5})"},
    };
    for (const auto& c : cases) {
        const std::string line = lineOf(encodeReply(5, c.reply));
        EXPECT_EQ(line, c.wire);
        const ReplyMessage message = replyMessage(line);
        EXPECT_EQ(message.id, 5);
        const auto decoded = decodeReply(c.call, message);
        ASSERT_TRUE(decoded.hasValue()) << line;
        EXPECT_EQ(*decoded, c.reply) << line;
    }
}

TEST(ServerMessage, RepliesOfTheWrongShapeAreErrors) {
    const std::pair<HelperCall, std::string> mismatches[] = {
        {HelperCall::getVersion, R"({"id":1,"reply":[true]})"},
        {HelperCall::getVersion, R"({"id":1,"reply":[]})"},
        {HelperCall::subscribe, R"({"id":1,"reply":["true"]})"},
        {HelperCall::start, R"({"id":1,"reply":["0","Connected"]})"},
        {HelperCall::stop, R"({"id":1,"reply":[0]})"},
        {HelperCall::stop, R"({"id":1,"reply":[0,"a","b"]})"},
        {HelperCall::terminate, R"({"id":1,"reply":[0]})"},
        {HelperCall::status, R"({"id":1,"reply":["not base64!"]})"},
        {HelperCall::status, R"({"id":1,"reply":[1]})"},
    };
    for (const auto& [call, line] : mismatches) {
        EXPECT_FALSE(decodeReply(call, replyMessage(line)).hasValue()) << line;
    }
    for (const char* line : {
             R"({"reply":[]})",
             R"({"id":"1","reply":[]})",
             R"({"id":1})",
             R"({"id":1,"reply":{}})",
             R"({"id":1,"reply":[1.5]})",
             R"({"id":1,"reply":[null]})",
             R"({"id":1,"reply":[[1]]})",
             R"({"id":1,"error":3})",
             R"({"id":1,"error":"x","reply":[]})",
             R"({"id":18446744073709551615,"reply":[]})",
             R"({"callback":"statusChanged:"})",
             R"({"callback":"statusChanged:","data":"%%%"})",
             R"({"callback":"logLine:","line":3})",
             R"({"callback":"unknown:","line":"x"})",
             R"({"callback":1})",
             "[]",
             "garbage",
         }) {
        EXPECT_FALSE(parseServerMessage(line).hasValue()) << line;
    }
}

// Callbacks reach every subscriber of the test beds; here their wire form and
// a line that is not UTF-8.
TEST(ServerMessage, CallbacksKeepTheirWireFormAndSurviveBadBytes) {
    EXPECT_EQ(lineOf(encodeCallback(LogLine{"hi"})), R"({"callback":"logLine:","line":"hi"})");

    // A log line from a child program may hold bytes that are not UTF-8; it
    // must still produce a valid line rather than an exception.
    const std::string line = lineOf(encodeCallback(LogLine{"bad \xff\xfe bytes"}));
    const auto parsed = parseServerMessage(line);
    ASSERT_TRUE(parsed.hasValue()) << line;
    EXPECT_EQ(std::get<LogLine>(std::get<Callback>(*parsed)).line,
              "bad \xEF\xBF\xBD\xEF\xBF\xBD bytes");
}

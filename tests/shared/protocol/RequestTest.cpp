#include "shared/protocol/Request.h"

#include "shared/protocol/LineFramer.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

using namespace torvane::protocol;

namespace {

std::string encodeOrFail(const Request& request) {
    const auto line = encodeRequest(request);
    EXPECT_TRUE(line.hasValue());
    return line ? *line : std::string{};
}

} // namespace

TEST(Request, WireFormOfAStartCommand) {
    const Request request{7, HelperCall::start, "{}", "[]", {}, {}};
    const auto object = nlohmann::json::parse(encodeOrFail(request));
    EXPECT_EQ(object, (nlohmann::json{{"id", 7},
                                      {"call", "startWithConfigData:secrets:reply:"},
                                      {"configData", "e30="},
                                      {"secrets", "W10="}}));
}

TEST(Request, MalformedLinesAreErrors) {
    const std::vector<std::string> bad = {
        "",
        "not json",
        "[]",
        R"("getVersionWithReply:")",
        R"({"call":"getVersionWithReply:"})",
        R"({"id":"1","call":"getVersionWithReply:"})",
        R"({"id":1.5,"call":"getVersionWithReply:"})",
        R"({"id":1})",
        R"({"id":1,"call":"getVersion"})",
        R"({"id":1,"call":"GETVERSIONWITHREPLY:"})",
        R"({"id":1,"call":7})",
        R"({"id":1,"call":"startWithConfigData:secrets:reply:","configData":"e30="})",
        R"({"id":1,"call":"startWithConfigData:secrets:reply:","configData":"e30","secrets":"W10="})",
        R"({"id":1,"call":"startWithConfigData:secrets:reply:","configData":{},"secrets":"W10="})",
        R"({"id":1,"call":"stopWithProfileID:reply:"})",
        R"({"id":1,"call":"stopWithProfileID:reply:","profileID":null})",
        R"({"id":1,"call":"stopWithProfileID:reply:","profileID":["A"]})",
        R"({"id":1,"call":"setPrioritiesWithProfileIDs:reply:","profileIDs":"A"})",
        R"({"id":1,"call":"setPrioritiesWithProfileIDs:reply:","profileIDs":["A",1]})",
        std::string(100, '{'),
    };
    for (const auto& line : bad) {
        const auto parsed = parseRequest(line);
        EXPECT_FALSE(parsed.hasValue()) << line;
        if (!parsed) {
            EXPECT_FALSE(parsed.error().message.empty());
        }
    }
    // Extra keys and key order do not matter.
    EXPECT_TRUE(parseRequest(R"({"extra":[1],"call":"statusWithReply:","id":-3})").hasValue());
}

TEST(Request, MessagesBeyondTheLineLimitAreRefusedOnBothSides) {
    // 3 bytes of payload become 4 of Base64, so ~800 KB of profile is too big.
    Request request{1, HelperCall::start, std::string(800 * 1024, 'p'), "{}", {}, {}};
    const auto line = encodeRequest(request);
    ASSERT_FALSE(line.hasValue());
    EXPECT_NE(line.error().message.find("1 MiB"), std::string::npos);

    request.configData.resize(700 * 1024);
    EXPECT_TRUE(encodeRequest(request).hasValue());

    const std::string oversized =
        R"({"id":1,"call":"statusWithReply:","pad":")" + std::string(kMaxLineBytes, 'x') + "\"}";
    EXPECT_FALSE(parseRequest(oversized).hasValue());
}

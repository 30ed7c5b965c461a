#include "shared/VPNProfile.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

using namespace torvane;
using nlohmann::json;

namespace {

VPNProfile decodeOrFail(const std::string& text) {
    auto decoded = decodeProfile(text);
    EXPECT_TRUE(decoded.hasValue()) << (decoded ? "" : decoded.error().message) << "\n" << text;
    return decoded ? *decoded : VPNProfile{};
}

// Every field of `a` except id equals that of `b`.
void expectSameExceptId(VPNProfile a, const VPNProfile& b) {
    a.id = b.id;
    EXPECT_EQ(a, b);
}

} // namespace

TEST(VPNProfileJson, MissingAndNullKeysTakeTheDefaults) {
    const VPNProfile defaults;
    const VPNProfile first = decodeOrFail("{}");
    const VPNProfile second = decodeOrFail("{}");
    expectSameExceptId(first, defaults);
    EXPECT_NE(first.id, second.id);

    // An older writer that lacked some keys and wrote null for others.
    const VPNProfile partial = decodeOrFail(
        R"({"authMethod":"pskMutual","ikeVersion":2,"routes":null,"name":null,"priority":null})");
    VPNProfile expected;
    expected.authMethod = VPNAuthMethod::pskMutual;
    expected.ikeVersion = 2;
    expectSameExceptId(partial, expected);
}

TEST(VPNProfileJson, DecodesWhatAnotherEncoderWrote) {
    // Keys in another order, unescaped slashes, pretty-printed, a lower-case
    // id, unknown keys of every shape.
    const std::string text = R"({
        "keepaliveInterval": 10,
        "routes": ["10.1.0.0/16", "10.2.0.0\/16"],
        "id": "6f1c2c9e-08a4-4b61-9d8e-0a1b2c3d4e5f",
        "futureOption": {"nested": [1, 2, {"x": null}]},
        "name": "Office \/ HQ",
        "authMethod": "eapTLS",
        "remoteAddr": "vpn.example.test",
        "ikeVersion": 2.0,
        "comment": "written by hand"
    })";
    const VPNProfile profile = decodeOrFail(text);
    EXPECT_EQ(profile.id.upperText(), "6F1C2C9E-08A4-4B61-9D8E-0A1B2C3D4E5F");
    EXPECT_EQ(profile.name, "Office / HQ");
    EXPECT_EQ(profile.authMethod, VPNAuthMethod::eapTLS);
    EXPECT_EQ(profile.routes, (std::vector<std::string>{"10.1.0.0/16", "10.2.0.0/16"}));
    EXPECT_EQ(profile.ikeVersion, 2);
    EXPECT_EQ(profile.keepaliveInterval, 10);

    const json reencoded = json::parse(encodeProfile(profile));
    EXPECT_EQ(reencoded["id"], "6F1C2C9E-08A4-4B61-9D8E-0A1B2C3D4E5F");
    EXPECT_FALSE(reencoded.contains("futureOption"));
}

TEST(VPNProfileJson, AnyWrongTypeFailsTheWholeDecode) {
    // A value of the wrong JSON type for each kind of field, and the values
    // that look right but are not.
    const std::vector<std::string> bad = {
        R"({"name":42})",
        R"({"name":["New VPN"]})",
        R"({"ikeVersion":"2"})",
        R"({"ikeVersion":2.5})",
        R"({"ikeVersion":true})",
        R"({"ikeVersion":1e30})",
        R"({"priority":9223372036854775808})",
        R"({"keepaliveInterval":{}})",
        R"({"encap":1})",
        R"({"fragmentation":"true"})",
        R"({"routes":"10.0.0.0/8"})",
        R"({"routes":["10.0.0.0/8",7]})",
        R"({"routes":["10.0.0.0/8",null]})",
        R"({"dnsServers":{}})",
        R"({"authMethod":"PSK"})",
        R"({"authMethod":"eap"})",
        R"({"authMethod":3})",
        R"({"id":""})",
        R"({"id":"not-a-uuid"})",
        R"({"id":"{6F1C2C9E-08A4-4B61-9D8E-0A1B2C3D4E5F}"})",
        R"({"id":"6F1C2C9E08A44B619D8E0A1B2C3D4E5F"})",
        R"({"id":"6F1C2C9E-08A4-4B61-9D8E-0A1B2C3D4E5G"})",
        R"({"id":7})",
        R"([])",
        R"("profile")",
        R"(null)",
        R"({"name":"unterminated)",
        "",
        std::string(200, '[') + std::string(200, ']'),
    };
    for (const auto& text : bad) {
        const auto decoded = decodeProfile(text);
        EXPECT_FALSE(decoded.hasValue()) << text;
        if (!decoded) {
            EXPECT_FALSE(decoded.error().message.empty());
        }
    }
    // The failure names the key but never echoes the value.
    const auto failed = decodeProfile(R"({"clientCertPEM":["SECRET-LOOKING-VALUE"]})");
    ASSERT_FALSE(failed.hasValue());
    EXPECT_NE(failed.error().message.find("clientCertPEM"), std::string::npos);
    EXPECT_EQ(failed.error().message.find("SECRET"), std::string::npos);
}

TEST(VPNProfileJson, ProfileListsDecodeWholeOrNotAtAll) {
    VPNProfile a;
    a.name = "A";
    VPNProfile b;
    b.name = "B";
    const auto decoded = decodeProfileList(encodeProfileList({a, b}));
    ASSERT_TRUE(decoded.hasValue());
    EXPECT_EQ(*decoded, (std::vector<VPNProfile>{a, b}));
    EXPECT_EQ(encodeProfileList({}), "[]");

    const auto broken = decodeProfileList(R"([{"name":"ok"},{"ikeVersion":"x"}])");
    ASSERT_FALSE(broken.hasValue());
    EXPECT_NE(broken.error().message.find("profile 2"), std::string::npos);
    EXPECT_FALSE(decodeProfileList(R"({"name":"not a list"})").hasValue());
}

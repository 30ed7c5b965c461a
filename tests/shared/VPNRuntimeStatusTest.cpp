#include "shared/VPNRuntimeStatus.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

using namespace torvane;
using nlohmann::json;

namespace {

VPNTunnelStatus tunnel(std::string id, VPNConnState state) {
    return VPNTunnelStatus{std::move(id), "Office", state, {}, {}, {}, 0, false, {}};
}

VPNRuntimeStatus decodeOrFail(const std::string& text) {
    const auto decoded = decodeRuntimeStatus(text);
    EXPECT_TRUE(decoded.hasValue()) << text;
    return decoded ? *decoded : VPNRuntimeStatus{};
}

constexpr const char* kCompleteTunnel =
    R"({"profileID":"6F1C2C9E-08A4-4B61-9D8E-0A1B2C3D4E5F","profileName":"Office",)"
    R"("state":"connected","priority":1,"killSwitchActive":true})";

} // namespace

TEST(VPNRuntimeStatusJson, OptionalFieldsAppearOnlyWhenPresent) {
    VPNTunnelStatus full = tunnel("A", VPNConnState::connected);
    full.assignedVIP = "10.99.0.1";
    full.tunDevice = "ipsec0";
    full.message = "Connected (10.99.0.1)";
    full.priority = 3;
    full.killSwitchActive = true;
    const VPNRuntimeStatus status{{full, tunnel("B", VPNConnState::connecting)}};

    const std::string text = encodeRuntimeStatus(status);
    const json object = json::parse(text);
    EXPECT_EQ(object["tunnels"][0].size(), 8u);
    EXPECT_EQ(object["tunnels"][1].size(), 5u) << "absent optionals must not be written";
    EXPECT_EQ(object["tunnels"][1]["state"], "connecting");
    EXPECT_EQ(decodeOrFail(text), status);

    EXPECT_EQ(encodeRuntimeStatus({}), R"({"tunnels":[]})");
    const VPNRuntimeStatus holding{{}, true};
    EXPECT_EQ(encodeRuntimeStatus(holding), R"({"killSwitchHolding":true,"tunnels":[]})");
    EXPECT_EQ(decodeOrFail(encodeRuntimeStatus(holding)), holding);
    EXPECT_FALSE(decodeOrFail(R"({"killSwitchHolding":"yes","tunnels":[]})").killSwitchHolding);

    // Explicit nulls read as absent and are not written back.
    const auto withNulls = decodeOrFail(std::string(R"({"tunnels":[)") + kCompleteTunnel + R"(]})");
    ASSERT_EQ(withNulls.tunnels.size(), 1u);
    EXPECT_FALSE(withNulls.tunnels[0].assignedVIP || withNulls.tunnels[0].tunDevice ||
                 withNulls.tunnels[0].message);
    const auto nullVIP = decodeOrFail(
        R"({"tunnels":[{"profileID":"X","profileName":"n","state":"error","priority":0,)"
        R"("killSwitchActive":false,"assignedVIP":null,"message":"Auth failed"}]})");
    ASSERT_EQ(nullVIP.tunnels.size(), 1u);
    EXPECT_FALSE(nullVIP.tunnels[0].assignedVIP.has_value());
    EXPECT_EQ(nullVIP.tunnels[0].message, "Auth failed");
}

TEST(VPNRuntimeStatusJson, SaDetailsRoundTripAndAMalformedOneIsDroppedAlone) {
    VPNTunnelStatus withSa = tunnel("A", VPNConnState::connected);
    withSa.tunnelSA = VPNSaDetails{5'000'000'000,
                                   2,
                                   3,
                                   4,
                                   "AES_GCM_16-256 / PRF_HMAC_SHA2_384 / ECP_384",
                                   "AES_GCM_16-256",
                                   61,
                                   3000,
                                   std::nullopt,
                                   "10.10.0.2[4500]",
                                   "10.10.0.1[4500]",
                                   {"10.99.0.1/32"},
                                   {"10.200.0.0/24", "::/0"}};
    const std::string text = encodeRuntimeStatus({{withSa}});
    const json sa = json::parse(text)["tunnels"][0]["tunnelSA"];
    EXPECT_FALSE(sa.contains("espRekeySeconds")) << "no rekey scheduled: key left out";
    EXPECT_EQ(sa["bytesIn"], 5'000'000'000) << "counters past 32 bits";
    EXPECT_EQ(decodeOrFail(text), VPNRuntimeStatus{{withSa}});

    // A newer or broken daemon's details never cost the client the tunnel.
    std::string complete = kCompleteTunnel;
    complete.pop_back();
    const auto broken =
        decodeOrFail(R"({"tunnels":[)" + complete + R"(,"tunnelSA":{"bytesIn":"many"}}]})");
    ASSERT_EQ(broken.tunnels.size(), 1u);
    EXPECT_FALSE(broken.tunnels[0].tunnelSA.has_value());
}

TEST(VPNRuntimeStatusJson, AMalformedTunnelListBecomesEmptyButANonObjectFails) {
    const std::string complete = kCompleteTunnel;
    auto withTunnel = [](const std::string& tunnelJson) {
        return R"({"other":1,"tunnels":[)" + tunnelJson + "]}";
    };
    EXPECT_EQ(decodeOrFail(withTunnel(complete)).tunnels.size(), 1u);

    for (const std::string& text : {
             std::string("{}"),
             std::string(R"({"tunnels":null})"),
             std::string(R"({"tunnels":{}})"),
             std::string(R"({"tunnels":"none"})"),
             std::string(R"({"tunnels":[1]})"),
             withTunnel(R"({"profileID":"X","profileName":"n","state":"paused","priority":0,)"
                        R"("killSwitchActive":false})"),
             withTunnel(R"({"profileID":"X","profileName":"n","state":"connected",)"
                        R"("killSwitchActive":false})"),
             withTunnel(R"({"profileID":"X","profileName":"n","state":"connected","priority":0,)"
                        R"("killSwitchActive":"yes"})"),
             withTunnel(R"({"profileID":"X","profileName":"n","state":"connected","priority":0,)"
                        R"("killSwitchActive":false,"tunDevice":7})"),
             // One good and one bad tunnel: the whole list goes, not just the bad one.
             withTunnel(complete + R"(,{"profileID":null})"),
         }) {
        EXPECT_TRUE(decodeOrFail(text).tunnels.empty()) << text;
    }
    for (const char* text : {"[]", R"([{"tunnels":[]}])", "null", "\"x\"", "", "{"}) {
        EXPECT_FALSE(decodeRuntimeStatus(text).hasValue()) << text;
    }
}

TEST(VPNRuntimeStatus, DerivedValues) {
    using S = VPNConnState;
    const auto aggregate = [](std::vector<S> states) {
        VPNRuntimeStatus status;
        for (const auto s : states) {
            status.tunnels.push_back(tunnel("T", s));
        }
        return status.aggregateState();
    };
    EXPECT_EQ(aggregate({}), S::disconnected);
    EXPECT_EQ(aggregate({S::connected, S::connecting}), S::connecting);
    EXPECT_EQ(aggregate({S::connected, S::error}), S::error);
    EXPECT_EQ(aggregate({S::disconnected, S::disconnected}), S::disconnected);
    EXPECT_EQ(aggregate({S::reconnecting, S::connecting}), S::reconnecting);
    EXPECT_EQ(aggregate({S::connecting, S::reconnecting, S::error, S::connected}), S::error);
    EXPECT_EQ(aggregate({S::disconnected, S::connected}), S::connected);

    const VPNRuntimeStatus status{{tunnel("6F1C2C9E-08A4-4B61-9D8E-0A1B2C3D4E5F", S::connected),
                                   tunnel("B", S::connecting), tunnel("B", S::connected)}};
    EXPECT_EQ(status.connectedCount(), 2);
    ASSERT_NE(status.tunnel("B"), nullptr);
    EXPECT_EQ(status.tunnel("B")->state, S::connecting) << "the first match wins";
    EXPECT_NE(status.tunnel("6F1C2C9E-08A4-4B61-9D8E-0A1B2C3D4E5F"), nullptr);
    EXPECT_EQ(status.tunnel("6f1c2c9e-08a4-4b61-9d8e-0a1b2c3d4e5f"), nullptr);
    EXPECT_EQ(status.tunnel(""), nullptr);
}

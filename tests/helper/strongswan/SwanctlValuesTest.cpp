#include "helper/strongswan/SwanctlValues.h"

#include "helper/strongswan/StrongswanConfig.h"

#include <string>

#include <gtest/gtest.h>

namespace torvane {
namespace {

VPNProfile profileFor(VPNAuthMethod method) {
    VPNProfile profile;
    profile.authMethod = method;
    profile.remoteAddr = "vpn.example.net";
    profile.localID = "client1";
    profile.remoteID = "gw.example.net";
    profile.xauthID = "alice";
    return profile;
}

std::string problem(const VPNProfile& profile, const VPNSecrets& secrets = {"pw", ""}) {
    return swanctlValueProblem(profile, secrets).value_or("");
}

TEST(SwanctlValuesTest, ordinaryProfilesPassForEveryMethod) {
    for (const auto method : kAllAuthMethods) {
        auto profile = profileFor(method);
        profile.remoteTS = "10.0.0.0/8, 192.168.0.0/16";
        profile.ikeProposals = "aes256-sha256-modp2048, aes128-sha1-modp1024";
        profile.xauthID = R"(CORP\alice=x)";
        profile.localID = "\t CN=client, O=Example ";
        profile.remoteID = "CN=gw {1} #2 \"q\"";
        EXPECT_FALSE(swanctlValueProblem(profile, {R"(p"w\ #{})", "KEY"}).has_value())
            << rawValue(method);
    }
}

TEST(SwanctlValuesTest, unquotedValuesRefuseWhatWouldEndOrExtendThem) {
    auto profile = profileFor(VPNAuthMethod::psk);
    profile.remoteAddr = "10.0.0.1 } children { x { updown = /tmp/x } }";
    EXPECT_EQ(problem(profile), "The profile's remote address contains characters that "
                                "strongSwan cannot accept: '}', '{'");

    struct Field {
        std::string VPNProfile::*member;
        const char* label;
    };
    const Field fields[] = {
        {&VPNProfile::ikeProposals, "The profile's IKE proposals"},
        {&VPNProfile::rekeyTimeIKE, "The profile's IKE rekey time"},
        {&VPNProfile::remoteTS, "The profile's remote traffic selector"},
        {&VPNProfile::espProposals, "The profile's ESP proposals"},
        {&VPNProfile::rekeyTimeChild, "The profile's child SA rekey time"},
        {&VPNProfile::lifeTimeChild, "The profile's child SA lifetime"},
    };
    for (const auto& field : fields) {
        for (const char* bad : {"x#y", "x\"y", "x\ty", "x\ry", "x\x7fy", "{"}) {
            auto changed = profileFor(VPNAuthMethod::certificate);
            changed.*field.member = bad;
            EXPECT_EQ(problem(changed).rfind(field.label, 0), 0u) << field.label << " " << bad;
        }
    }
}

TEST(SwanctlValuesTest, identitiesAreCheckedAsTheMethodWritesThem) {
    // Quoted for PSK: only control characters are refused.
    auto psk = profileFor(VPNAuthMethod::psk);
    psk.localID = " a}b#\"c ";
    EXPECT_EQ(problem(psk), "");
    psk.localID = "a\nb";
    EXPECT_EQ(problem(psk), "The profile's local identity contains characters that strongSwan "
                            "cannot accept: a line break");
    // Surrounding tabs are trimmed before writing, so they are harmless.
    psk.localID = "\tclient\t";
    EXPECT_EQ(problem(psk), "");

    // A method that does not write a field does not care about it.
    auto certificate = profileFor(VPNAuthMethod::certificate);
    certificate.xauthID = "}\n";
    EXPECT_EQ(problem(certificate, {"\n", ""}), "");

    auto mutual = profileFor(VPNAuthMethod::pskMutual);
    mutual.remoteID = "gw\x01";
    EXPECT_EQ(problem(mutual), "The profile's remote identity contains characters that "
                               "strongSwan cannot accept: a control character");
}

TEST(SwanctlValuesTest, secretProblemsNeverRepeatTheSecret) {
    const std::string secret = "hunter2\n}\nupdown = /tmp/x";
    for (const auto method : {VPNAuthMethod::xauth, VPNAuthMethod::eapMSCHAPv2, VPNAuthMethod::psk,
                              VPNAuthMethod::pskMutual}) {
        const auto message = problem(profileFor(method), {secret, ""});
        EXPECT_EQ(message, "The password or pre-shared key contains characters that strongSwan "
                           "cannot accept: a line break")
            << rawValue(method);
        EXPECT_EQ(message.find("hunter2"), std::string::npos);
    }
    EXPECT_EQ(problem(profileFor(VPNAuthMethod::psk), {std::string("a\0b", 3), ""}),
              "The password or pre-shared key contains characters that strongSwan cannot "
              "accept: a control character");
}

} // namespace
} // namespace torvane

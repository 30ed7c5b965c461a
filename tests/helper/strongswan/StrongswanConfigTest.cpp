#include "helper/strongswan/StrongswanConfig.h"

#include "helper/strongswan/SwanctlValues.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

namespace torvane {
namespace {

// The expected files live in golden/. TORVANE_UPDATE_GOLDEN=1 rewrites them
// from the current output; review the diff before committing it.
std::string golden(const std::string& name, const std::string& actual) {
    const std::string path = std::string(TORVANE_STRONGSWAN_GOLDEN_DIR) + "/" + name;
    if (std::getenv("TORVANE_UPDATE_GOLDEN") != nullptr) {
        std::ofstream(path, std::ios::binary) << actual;
    }
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in) << "missing " << path;
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

const Uuid kId = *Uuid::parse("0F8E2D4C-1B3A-4C5D-8E9F-A0B1C2D3E4F5");

VPNProfile profileFor(VPNAuthMethod method) {
    VPNProfile profile;
    profile.id = kId;
    profile.authMethod = method;
    profile.remoteAddr = "vpn.example.net";
    return profile;
}

struct GoldenCase {
    const char* file;
    VPNProfile profile;
    VPNSecrets secrets;
};

std::vector<GoldenCase> goldenCases() {
    std::vector<GoldenCase> cases;

    // The worked example: PSK with a virtual IP, a local identity, IKEv2,
    // fragmentation on, forced encapsulation off.
    auto psk = profileFor(VPNAuthMethod::psk);
    psk.requestVIP = true;
    psk.localID = "client1";
    psk.ikeVersion = 2;
    psk.fragmentation = true;
    psk.encap = false;
    cases.push_back({"psk.conf", psk, {"s3cret", ""}});

    // XAuth is IKEv1 whatever the profile says, and ignores the local
    // identity; no virtual IP line.
    auto xauth = profileFor(VPNAuthMethod::xauth);
    xauth.ikeVersion = 2;
    xauth.requestVIP = false;
    xauth.fragmentation = false;
    xauth.encap = true;
    xauth.xauthID = "alice";
    xauth.localID = "not-written";
    xauth.remoteID = "vpn.example.net";
    cases.push_back({"xauth.conf", xauth, {"pw", "KEY"}});

    // Certificate keeps the profile's IKE version; the local identity is
    // trimmed of blanks; other proposals and times pass through.
    auto certificate = profileFor(VPNAuthMethod::certificate);
    certificate.ikeVersion = 1;
    certificate.localID = "\t CN=client, O=Example \t";
    certificate.ikeProposals = "aes128-sha256-modp2048";
    certificate.espProposals = "aes128gcm16";
    certificate.remoteTS = "10.0.0.0/8, 192.168.0.0/16";
    certificate.rekeyTimeIKE = "4h";
    certificate.rekeyTimeChild = "1h";
    certificate.lifeTimeChild = "90m";
    cases.push_back({"certificate.conf", certificate, {"", "KEY"}});

    // EAP-MSCHAPv2 is IKEv2; a blank local identity falls back to the user
    // name; a password with a quote and a backslash is escaped.
    auto eap = profileFor(VPNAuthMethod::eapMSCHAPv2);
    eap.ikeVersion = 1;
    eap.localID = "  ";
    eap.xauthID = "bob";
    eap.remoteID = "gw.example.net";
    cases.push_back({"eapMSCHAPv2.conf", eap, {"p\"w\\", ""}});

    auto eapTLS = profileFor(VPNAuthMethod::eapTLS);
    eapTLS.ikeVersion = 1;
    eapTLS.localID = "client@example.net";
    cases.push_back({"eapTLS.conf", eapTLS, {"", "KEY"}});

    // Mutual PSK: the remote identity is quoted as given in the remote block
    // and trimmed in the secret; a key swanctl would decode goes in as hex.
    auto pskMutual = profileFor(VPNAuthMethod::pskMutual);
    pskMutual.ikeVersion = 1;
    pskMutual.requestVIP = false;
    pskMutual.localID = "client1";
    pskMutual.remoteID = " gw ";
    cases.push_back({"pskMutual.conf", pskMutual, {"0x1234", ""}});
    return cases;
}

TEST(StrongswanConfigTest, swanctlConfMatchesGoldenFileForEveryMethod) {
    for (const auto& c : goldenCases()) {
        SCOPED_TRACE(c.file);
        ASSERT_FALSE(swanctlValueProblem(c.profile, c.secrets).has_value());
        const auto text = renderSwanctlConf(c.profile, c.secrets);
        EXPECT_EQ(text, golden(c.file, text));
    }
}

TEST(StrongswanConfigTest, strongswanConfMatchesGoldenFile) {
    const auto text =
        renderStrongswanConf("/usr/lib/torvane/Resources/strongswan/etc", "/run/torvane/run");
    EXPECT_EQ(text, golden("strongswan.conf", text));
}

TEST(StrongswanConfigTest, localIdentityLines) {
    auto profile = profileFor(VPNAuthMethod::psk);
    profile.localID = " \t ";
    EXPECT_EQ(renderLocalAuth(profile), "            local {\n"
                                        "                auth = psk\n"
                                        "            }");
    EXPECT_EQ(renderSecrets(profile, {"k", ""}), "        ike-" + kId.lowerText() +
                                                     " {\n"
                                                     "            secret = \"k\"\n"
                                                     "        }");

    profile.authMethod = VPNAuthMethod::eapMSCHAPv2;
    profile.localID = "\tuser@example.net ";
    profile.xauthID = "bob";
    EXPECT_EQ(renderLocalAuth(profile), "            local {\n"
                                        "                auth = eap-mschapv2\n"
                                        "                eap_id = user@example.net\n"
                                        "            }");
    // The secret always belongs to the user name.
    EXPECT_NE(renderSecrets(profile, {"k", ""}).find("            id = bob\n"), std::string::npos);
}

TEST(StrongswanConfigTest, mutualPskWritesRemoteIdentitySecretOnlyWhenNotBlank) {
    auto profile = profileFor(VPNAuthMethod::pskMutual);
    profile.remoteID = " \t";
    EXPECT_EQ(renderSecrets(profile, {"k", ""}).find("id-remote"), std::string::npos);
    // The remote block quotes the identity as given, blanks included.
    EXPECT_NE(renderRemoteAuth(profile).find("id = \" \t\""), std::string::npos);
    profile.remoteID = "";
    EXPECT_NE(renderRemoteAuth(profile).find("id = %any\n"), std::string::npos);
}

} // namespace
} // namespace torvane

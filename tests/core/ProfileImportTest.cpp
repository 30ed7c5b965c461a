// Sample files are made here, from the documented formats: JSON and property
// lists written by the test, certificates, PKCS#12 bundles and signatures
// made with the openssl command, plists encoded by python3's plistlib.
#include "shared/Base64.h"
#include "shared/import/Pkcs12Bundle.h"
#include "shared/import/PlistReader.h"
#include "shared/import/ProfileImporter.h"
#include "shared/import/ProposalModel.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace torvane {
namespace {

using ::testing::HasSubstr;
using Json = nlohmann::json;

// The XML and binary forms of one configuration profile with two VPN
// payloads (IKEv2 with a certificate, IKEv1 with a group key and XAuth), a CA,
// the client's PKCS#12 and a payload that is not about VPNs.
constexpr const char* kWriteProfile = R"PY(
import plistlib, sys
d = sys.argv[1]
p12 = open(d + '/client.p12', 'rb').read()
ca = open(d + '/ca.der', 'rb').read()
profile = {
  'PayloadType': 'Configuration', 'PayloadVersion': 1,
  'PayloadIdentifier': 'org.example.vpn', 'PayloadDisplayName': 'Example VPN',
  'PayloadUUID': '5B3C1F6E-0000-4000-8000-000000000001',
  'PayloadContent': [
    {'PayloadType': 'com.apple.security.root', 'PayloadUUID': 'ca-1',
     'PayloadDisplayName': 'Example CA', 'PayloadContent': ca},
    {'PayloadType': 'com.apple.security.pkcs12', 'PayloadUUID': 'id-1',
     'PayloadDisplayName': 'Client', 'PayloadContent': p12, 'Password': 'bundle-pass'},
    {'PayloadType': 'com.apple.wifi.managed', 'PayloadUUID': 'w-1',
     'PayloadDisplayName': 'Office Wi-Fi', 'SSID_STR': 'office'},
    {'PayloadType': 'com.apple.vpn.managed', 'UserDefinedName': 'Office IKEv2',
     'PayloadUUID': '5B3C1F6E-0000-4000-8000-000000000002', 'VPNType': 'IKEv2',
     'IKEv2': {'RemoteAddress': 'vpn.example.org', 'RemoteIdentifier': 'vpn.example.org',
               'LocalIdentifier': 'client@example.org', 'AuthenticationMethod': 'Certificate',
               'PayloadCertificateUUID': 'id-1', 'EnablePFS': 1, 'DisableMOBIKE': 0,
               'IKESecurityAssociationParameters': {'EncryptionAlgorithm': 'AES-256-GCM',
                   'IntegrityAlgorithm': 'SHA2-384', 'DiffieHellmanGroup': 20,
                   'LifeTimeInMinutes': 480},
               'ChildSecurityAssociationParameters': {'EncryptionAlgorithm': 'AES-128',
                   'IntegrityAlgorithm': 'SHA2-256', 'DiffieHellmanGroup': 19,
                   'LifeTimeInMinutes': 60}},
     'DNS': {'ServerAddresses': ['10.0.0.53'], 'SearchDomains': ['corp.example'],
             'SupplementalMatchDomains': ['corp.example']},
     'IPv4': {'OverridePrimary': 1}},
    {'PayloadType': 'com.apple.vpn.managed', 'UserDefinedName': 'Branch IKEv1',
     'PayloadUUID': 'not-a-uuid', 'VPNType': 'IPSec',
     'IPSec': {'RemoteAddress': '198.51.100.7', 'AuthenticationMethod': 'SharedSecret',
               'LocalIdentifier': 'branch', 'LocalIdentifierType': 'KeyID',
               'SharedSecret': b'group-secret', 'XAuthEnabled': 1, 'XAuthName': 'alice'}},
    {'PayloadType': 'com.apple.vpn.managed', 'UserDefinedName': 'Old L2TP', 'VPNType': 'L2TP'},
  ]}
open(d + '/profile.xml', 'wb').write(plistlib.dumps(profile, fmt=plistlib.FMT_XML))
open(d + '/profile.bplist', 'wb').write(plistlib.dumps(profile, fmt=plistlib.FMT_BINARY))
)PY";

class ProfileImportTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_dir = new QTemporaryDir;
        const auto ec =
            QStringList{"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes"};
        openssl(QStringList{"req", "-x509"} + ec +
                QStringList{"-keyout", "ca.key", "-out", "ca.pem", "-subj", "/O=Example/CN=Test CA",
                            "-days", "2"});
        openssl({"x509", "-in", "ca.pem", "-outform", "DER", "-out", "ca.der"});
        openssl(QStringList{"req", "-x509"} + ec +
                QStringList{"-keyout", "client.key", "-out", "client.pem", "-subj",
                            "/CN=client@example.org", "-days", "2", "-CA", "ca.pem", "-CAkey",
                            "ca.key"});
        const QStringList bundle{"pkcs12",   "-export",         "-inkey",    "client.key",
                                 "-in",      "client.pem",      "-certfile", "ca.pem",
                                 "-passout", "pass:bundle-pass"};
        openssl(bundle + QStringList{"-out", "client.p12"});
        openssl(bundle + QStringList{"-legacy", "-out", "legacy.p12"});
        run("python3", {"-c", kWriteProfile, s_dir->path()});
        openssl({"cms", "-sign", "-nodetach", "-binary", "-outform", "DER", "-in", "profile.xml",
                 "-signer", "ca.pem", "-inkey", "ca.key", "-out", "signed.mobileconfig"});
    }
    static void TearDownTestSuite() { delete s_dir; }

    static void run(const QString& program, const QStringList& arguments) {
        QProcess process;
        process.setWorkingDirectory(s_dir->path());
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(program, arguments);
        ASSERT_TRUE(process.waitForFinished(60000)) << program.toStdString();
        ASSERT_EQ(process.exitCode(), 0)
            << program.toStdString() << ": " << process.readAll().toStdString();
    }
    static void openssl(const QStringList& arguments) { run("openssl", arguments); }

    static std::string file(const char* name) {
        QFile in(s_dir->filePath(name));
        EXPECT_TRUE(in.open(QIODevice::ReadOnly)) << name;
        return in.readAll().toStdString();
    }

    // Answers password prompts from a list and records what was asked.
    ImportOptions answering(std::vector<std::string> answers) {
        ImportOptions options;
        options.askPassword = [this, answers](const std::string& what,
                                              bool again) -> std::optional<std::string> {
            asked.push_back(what + (again ? " (again)" : ""));
            if (asked.size() > answers.size()) {
                return std::nullopt;
            }
            return answers[asked.size() - 1];
        };
        return options;
    }

    static const ImportReportLine* line(const std::vector<ImportReportLine>& report,
                                        const std::string& field) {
        for (const auto& entry : report) {
            if (entry.field == field) {
                return &entry;
            }
        }
        return nullptr;
    }

    static inline QTemporaryDir* s_dir = nullptr;
    std::vector<std::string> asked;
};

TEST_F(ProfileImportTest, SswanProfilesMapEachAuthenticationTypeAndReportTheRest) {
    const Json base = {
        {"uuid", "0b1a8f4e-8b7a-4a43-9d4c-0c4c1f6a2e11"},
        {"name", "Office"},
        {"remote",
         {{"addr", "vpn.example.org"},
          {"id", "CN=vpn.example.org"},
          {"port", 4501},
          {"cert", base64Encode(file("ca.der"))}}},
        {"local", {{"eap_id", "alice"}}},
        {"ike-proposal", "aes256-sha256-modp2048"},
        {"dns-servers", "10.0.0.53 10.0.0.54"},
        {"split-tunneling",
         {{"subnets", "10.0.0.0/8 192.0.2.0/24"},
          {"excluded", "10.9.0.0/16"},
          {"block-ipv6", true}}},
        {"ui", {{"show-notifications", false}}},
        {"future-key", 1},
    };

    auto eap = base;
    eap["type"] = "ikev2-eap";
    auto result = importProfileFile(eap.dump(), {});
    ASSERT_TRUE(result) << result.error().message;
    ASSERT_EQ(result->profiles.size(), 1u);
    const auto& imported = result->profiles[0];
    const auto& p = imported.profile;
    EXPECT_EQ(p.id.upperText(), "0B1A8F4E-8B7A-4A43-9D4C-0C4C1F6A2E11");
    EXPECT_EQ(p.authMethod, VPNAuthMethod::eapMSCHAPv2);
    EXPECT_EQ(p.ikeVersion, 2);
    EXPECT_EQ(p.remoteAddr, "vpn.example.org");
    EXPECT_EQ(p.remoteID, "CN=vpn.example.org");
    EXPECT_EQ(p.xauthID, "alice");
    EXPECT_THAT(p.caCertPEM, HasSubstr("BEGIN CERTIFICATE"));
    EXPECT_EQ(p.ikeProposals, "aes256-sha256-modp2048");
    EXPECT_EQ(p.dnsServers, (std::vector<std::string>{"10.0.0.53", "10.0.0.54"}));
    EXPECT_EQ(p.routes, (std::vector<std::string>{"10.0.0.0/8", "192.0.2.0/24"}));
    EXPECT_TRUE(p.preventIPv6Leak);
    EXPECT_EQ(result->signature.text(), "not signed");
    // Every key of the file is in the report exactly once.
    EXPECT_EQ(imported.report.size(), 15u);
    const auto* excluded = line(imported.report, "split-tunneling.excluded");
    ASSERT_NE(excluded, nullptr);
    EXPECT_FALSE(excluded->carried);
    EXPECT_EQ(excluded->reason, "Torvane cannot keep subnets outside a tunnel.");
    EXPECT_FALSE(line(imported.report, "remote.port")->carried);
    EXPECT_EQ(line(imported.report, "remote.cert")->value, "O=Example, CN=Test CA");
    EXPECT_THAT(line(imported.report, "future-key")->reason, HasSubstr("does not know"));
    EXPECT_THAT(line(imported.report, "ui.show-notifications")->reason, HasSubstr("phone app"));
    // Without "remote.id" the gateway must prove the address it was reached by.
    auto noRemoteID = eap;
    noRemoteID["remote"].erase("id");
    result = importProfileFile(noRemoteID.dump(), {});
    ASSERT_TRUE(result) << result.error().message;
    EXPECT_EQ(result->profiles[0].profile.remoteID, "vpn.example.org");

    // Certificate types take the bundle: its password is asked (a wrong
    // answer asks again), the key becomes a secret and is masked.
    for (const auto& [type, method] : {std::pair{"ikev2-cert", VPNAuthMethod::certificate},
                                       std::pair{"ikev2-eap-tls", VPNAuthMethod::eapTLS}}) {
        auto withCert = base;
        withCert["type"] = type;
        withCert["local"]["p12"] = base64Encode(file("client.p12"));
        asked.clear();
        result = importProfileFile(withCert.dump(), answering({"wrong", "bundle-pass"}));
        ASSERT_TRUE(result) << result.error().message;
        const auto& certProfile = result->profiles[0];
        EXPECT_EQ(certProfile.profile.authMethod, method);
        EXPECT_EQ(certProfile.profile.clientCertPEM, file("client.pem"));
        EXPECT_THAT(certProfile.secrets.privateKeyPEM, HasSubstr("BEGIN PRIVATE KEY"));
        EXPECT_EQ(asked, (std::vector<std::string>{"client certificate of \"Office\"",
                                                   "client certificate of \"Office\" (again)"}));
        EXPECT_EQ(line(certProfile.report, "local.p12 (private key)")->value, kMaskedValue);
    }

    // Files that cannot become a working profile are refused with one message.
    for (const auto& [change, message] :
         {std::pair{Json{{"type", "ikev2-cert-eap"}}, "certificate followed by EAP"},
          std::pair{Json{{"type", "ikev2-byod-eap"}}, "TNC"},
          std::pair{Json{{"type", "ikev1-psk"}}, "is not supported"},
          std::pair{Json{{"type", "ikev2-eap"}, {"remote", {{"addr", ""}}}}, "names no gateway"},
          std::pair{Json{{"type", "ikev2-cert"}}, "holds none"}}) {
        auto refused = base;
        refused.merge_patch(change);
        result = importProfileFile(refused.dump(), {});
        ASSERT_FALSE(result) << change.dump();
        EXPECT_THAT(result.error().message, HasSubstr(message));
    }
}

TEST_F(ProfileImportTest, ConfigurationProfilesReadTheSameFromXmlAndBinary) {
    std::vector<std::vector<ImportedProfile>> forms;
    for (const char* name : {"profile.xml", "profile.bplist"}) {
        asked.clear();
        const auto result = importProfileFile(file(name), answering({}));
        ASSERT_TRUE(result) << name << ": " << result.error().message;
        EXPECT_TRUE(asked.empty()) << "the payload's own password opens the bundle";
        EXPECT_EQ(result->signature.text(), "not signed");
        ASSERT_EQ(result->profiles.size(), 2u);
        const auto* l2tp = line(result->fileReport, "Old L2TP");
        ASSERT_NE(l2tp, nullptr);
        EXPECT_THAT(l2tp->reason, HasSubstr("IKEv2 or IPsec (IKEv1) only"));
        EXPECT_THAT(line(result->fileReport, "Office Wi-Fi")->reason, HasSubstr("only VPN"));
        forms.push_back(result->profiles);
    }

    const auto& ikev2 = forms[0][0];
    EXPECT_EQ(ikev2.profile.name, "Office IKEv2");
    EXPECT_EQ(ikev2.profile.id.upperText(), "5B3C1F6E-0000-4000-8000-000000000002");
    EXPECT_EQ(ikev2.profile.authMethod, VPNAuthMethod::certificate);
    EXPECT_EQ(ikev2.profile.localID, "client@example.org");
    EXPECT_EQ(ikev2.profile.clientCertPEM, file("client.pem"));
    EXPECT_EQ(ikev2.profile.caCertPEM, file("ca.pem"));
    EXPECT_FALSE(ikev2.secrets.privateKeyPEM.empty());
    // The pickers understand both proposals: AEAD takes its PRF from the
    // integrity algorithm on the IKE side, PFS keeps the group on the ESP side.
    EXPECT_EQ(ikev2.profile.ikeProposals, "aes256gcm16-prfsha384-ecp384");
    EXPECT_EQ(ikev2.profile.espProposals, "aes128-sha256-ecp256");
    EXPECT_TRUE(ParsedProposal::parse(ikev2.profile.ikeProposals));
    EXPECT_TRUE(ParsedProposal::parse(ikev2.profile.espProposals));
    EXPECT_EQ(ikev2.profile.rekeyTimeIKE, "28800s");
    EXPECT_EQ(ikev2.profile.lifeTimeChild, "3600s");
    EXPECT_EQ(ikev2.profile.rekeyTimeChild, "3240s");
    EXPECT_EQ(ikev2.profile.dnsServers, std::vector<std::string>{"10.0.0.53"});
    EXPECT_EQ(ikev2.profile.searchDomains, std::vector<std::string>{"corp.example"});
    EXPECT_EQ(ikev2.profile.routes, std::vector<std::string>{"0.0.0.0/0"});
    EXPECT_FALSE(line(ikev2.report, "DNS.SupplementalMatchDomains")->carried);
    EXPECT_FALSE(line(ikev2.report, "IKEv2.DisableMOBIKE")->carried);

    const auto& ikev1 = forms[0][1];
    EXPECT_EQ(ikev1.profile.authMethod, VPNAuthMethod::pskMutual);
    EXPECT_EQ(ikev1.profile.ikeVersion, 1);
    EXPECT_EQ(ikev1.profile.localID, "branch");
    EXPECT_EQ(ikev1.secrets.xauthPassword, "group-secret");
    EXPECT_EQ(line(ikev1.report, "IPSec.SharedSecret")->value, kMaskedValue);
    EXPECT_THAT(line(ikev1.report, "IPSec.XAuthName")->reason, HasSubstr("group key alone"));
    EXPECT_FALSE(line(ikev1.report, "PayloadUUID")->carried);

    // Ids the file does not fix are drawn anew; everything else matches.
    forms[1][1].profile.id = forms[0][1].profile.id;
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(forms[0][i].profile, forms[1][i].profile);
        EXPECT_EQ(forms[0][i].secrets, forms[1][i].secrets);
        EXPECT_EQ(forms[0][i].report, forms[1][i].report);
    }
}

TEST_F(ProfileImportTest, SignedProfilesNameTheirSignerAndTrust) {
    const auto signedFile = file("signed.mobileconfig");
    auto result = importProfileFile(signedFile, answering({}));
    ASSERT_TRUE(result) << result.error().message;
    EXPECT_EQ(result->signature.text(), "signed by O=Example, CN=Test CA, not trusted");
    EXPECT_EQ(result->profiles.size(), 2u);

    ImportOptions trusting;
    trusting.trustFile = s_dir->filePath("ca.pem").toStdString();
    result = importProfileFile(signedFile, trusting);
    ASSERT_TRUE(result) << result.error().message;
    EXPECT_EQ(result->signature.text(), "signed by O=Example, CN=Test CA, trusted");

    // A changed byte of the signed content breaks the signature.
    auto tampered = signedFile;
    const auto at = tampered.find("vpn.example.org");
    ASSERT_NE(at, std::string::npos);
    tampered[at] = 'w';
    result = importProfileFile(tampered, trusting);
    ASSERT_FALSE(result);
    EXPECT_THAT(result.error().message, HasSubstr("changed after it was signed"));
}

TEST_F(ProfileImportTest, Pkcs12BundlesOpenWithAndWithoutLegacyCiphers) {
    for (const char* name : {"client.p12", "legacy.p12"}) {
        asked.clear();
        const auto opened = Pkcs12Bundle::open(file(name), "bundle", "bundle-pass", {});
        ASSERT_TRUE(opened) << name << ": " << opened.error().message;
        EXPECT_EQ(opened->certificatePEM, file("client.pem"));
        EXPECT_THAT(opened->privateKeyPEM, HasSubstr("BEGIN PRIVATE KEY"));
        EXPECT_EQ(opened->extraCertificates, 1);
    }
    // A wrong embedded password asks the user; cancelling refuses.
    const auto cancelled =
        Pkcs12Bundle::open(file("legacy.p12"), "bundle", "nope", answering({}).askPassword);
    ASSERT_FALSE(cancelled);
    EXPECT_EQ(asked, std::vector<std::string>{"bundle (again)"});
    EXPECT_THAT(cancelled.error().message, HasSubstr("was not given"));
    EXPECT_FALSE(Pkcs12Bundle::open("not a bundle", "bundle", std::nullopt, {}));
}

TEST_F(ProfileImportTest, HostileFilesAreRefusedWithOneMessage) {
    const auto refusal = [](const std::string& bytes) {
        const auto result = importProfileFile(bytes, {});
        return result ? std::string{} : result.error().message;
    };
    EXPECT_THAT(refusal(std::string(kMaxImportFileSize + 1, ' ')), HasSubstr("larger than 1 MiB"));
    EXPECT_THAT(refusal("hello"), HasSubstr("neither"));
    EXPECT_THAT(refusal("{\"type\": "), HasSubstr("not a JSON object"));

    const auto plist = [](const std::string& body) {
        return "<?xml version=\"1.0\"?><plist version=\"1.0\">" + body + "</plist>";
    };
    std::string deep;
    for (int i = 0; i < kMaxPlistDepth; ++i) {
        deep = "<array>" + deep + "</array>";
    }
    EXPECT_TRUE(readPlist(plist(deep)));
    EXPECT_THAT(readPlist(plist("<array>" + deep + "</array>")).error().message,
                HasSubstr("deeper than 32"));
    std::string many;
    for (std::size_t i = 0; i < kMaxPlistElements; ++i) {
        many += "<true/>";
    }
    EXPECT_THAT(readPlist(plist("<array>" + many + "</array>")).error().message,
                HasSubstr("more than 100000"));
    for (const char* body :
         {"<dict><key>a</key><true/><key>a</key><true/></dict>", "<dict><key>a</key></dict>",
          "<integer>12x</integer>", "<data>!!</data>", "<true/><true/>", "<unknown/>",
          "<string>a<b/></string>"}) {
        EXPECT_FALSE(readPlist(plist(body))) << body;
    }
    EXPECT_THAT(readPlist("<?xml version=\"1.0\"?><!DOCTYPE plist [<!ENTITY a \"aaaa\">]>"
                          "<plist><string>&a;</string></plist>")
                    .error()
                    .message,
                HasSubstr("declares entities"));

    // A binary array that contains itself is stopped by the depth bound.
    std::string cyclic = "bplist00";
    cyclic.append("\xA1\x00", 2); // object 0: array of one reference, to object 0
    cyclic += '\x08';             // offset table: object 0 at 8
    std::string trailer(32, '\0');
    trailer[6] = 1;
    trailer[7] = 1;
    trailer[15] = 1;  // one object
    trailer[31] = 10; // offset table at 10
    EXPECT_THAT(readPlist(cyclic + trailer).error().message, HasSubstr("deeper than 32"));

    EXPECT_THAT(refusal(plist("<dict><key>PayloadContent</key><array/></dict>")),
                HasSubstr("no VPN settings"));
}

} // namespace
} // namespace torvane

#include "shared/managed/ManagedDirectory.h"

#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace torvane;
using testing::HasSubstr;
using Outcome = ManagedVerdict::Outcome;

namespace {

const char* kOffice = "0B1A8F4E-8B7A-4A43-9D4C-0C4C1F6A2E11";
const char* kBranch = "5d2c3b1a-1111-4222-8333-944455556666";

void write(const std::filesystem::path& path, const std::string& text, mode_t mode) {
    std::ofstream(path) << text;
    ASSERT_EQ(::chmod(path.c_str(), mode), 0);
}

} // namespace

// One directory as an administrator might get it wrong: each kind of file
// must get its own verdict, and none may cost the others their profiles.
TEST(ManagedDirectory, ChecksEveryFileAndKeepsTheGoodOnes) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to make root-owned and foreign-owned files";
    }
    char pattern[] = "/tmp/torvane-managed-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const std::filesystem::path root = pattern;
    const auto profiles = root / "profiles.d";
    const auto secrets = root / "secrets.d";
    std::filesystem::create_directory(profiles);
    std::filesystem::create_directory(secrets);
    ::chmod(profiles.c_str(), 0755);
    ::chmod(secrets.c_str(), 0700);

    const std::string office =
        std::string(R"({"id":")") + kOffice +
        R"(","name":"Office","authMethod":"psk","remoteAddr":"vpn.example.com",
        "alwaysOn":true,"lockdown":true,"userMayDisconnect":false,"unknownKey":1})";
    write(profiles / "10-office.json", office, 0644);
    write(secrets / (std::string(kOffice) + ".json"),
          R"({"xauthPassword":"psk-from-secrets","privateKeyPEM":""})", 0600);
    write(profiles / "20-branch.sswan",
          std::string(R"({"uuid":")") + kBranch + R"(","name":"Branch","type":"ikev2-eap",
            "remote":{"addr":"branch.example.net"},"local":{"eap_id":"alice"}})",
          0644);
    // Too open: the secrets are dropped, the profile stays.
    write(secrets / (std::string(kBranch) + ".json"),
          R"({"xauthPassword":"leaked","privateKeyPEM":""})", 0644);
    write(profiles / "30-broken.json", R"({"id": "unterminated)", 0644);
    write(profiles / "40-group.json", office, 0664);
    write(profiles / "50-nobody.json", office, 0644);
    ASSERT_EQ(::chown((profiles / "50-nobody.json").c_str(), 65534, 65534), 0);
    std::filesystem::create_symlink(profiles / "10-office.json", profiles / "60-link.json");
    write(profiles / "70-again.json", office, 0644);
    write(profiles / "80-lockdown.json",
          R"({"id":"7F1E0D2C-3B4A-4596-8877-665544332211","authMethod":"psk","lockdown":true})",
          0644);
    write(profiles / ".hidden.json", office, 0644);
    write(profiles / "90-old.json~", office, 0644);

    const auto result = readManagedDirectory(root);
    std::filesystem::remove_all(root);

    std::vector<std::pair<std::string, Outcome>> seen;
    for (const auto& verdict : result.verdicts) {
        seen.emplace_back(verdict.file, verdict.outcome);
    }
    const std::string officeSecrets = std::string("secrets.d/") + kOffice + ".json";
    const std::string branchSecrets = std::string("secrets.d/") + kBranch + ".json";
    EXPECT_EQ(seen, (std::vector<std::pair<std::string, Outcome>>{
                        {"profiles.d/10-office.json", Outcome::accepted},
                        {officeSecrets, Outcome::accepted},
                        {"profiles.d/20-branch.sswan", Outcome::accepted},
                        {branchSecrets, Outcome::ignored},
                        {"profiles.d/30-broken.json", Outcome::refused},
                        {"profiles.d/40-group.json", Outcome::ignored},
                        {"profiles.d/50-nobody.json", Outcome::ignored},
                        {"profiles.d/60-link.json", Outcome::ignored},
                        {"profiles.d/70-again.json", Outcome::refused},
                        {"profiles.d/80-lockdown.json", Outcome::refused},
                    }));
    ASSERT_EQ(result.verdicts.size(), 10u);
    EXPECT_THAT(result.verdicts[3].text(), HasSubstr("readable by group or others (mode 0644)"));
    EXPECT_EQ(result.verdicts[5].text(),
              "profiles.d/40-group.json: ignored: writable by its group (mode 0664); the file "
              "must be root-owned and writable only by root");
    EXPECT_THAT(result.verdicts[6].reason, HasSubstr("owned by uid 65534"));
    EXPECT_THAT(result.verdicts[7].reason, HasSubstr("symbolic link"));
    EXPECT_THAT(result.verdicts[8].reason, HasSubstr("already given by profiles.d/10-office.json"));
    EXPECT_THAT(result.verdicts[9].reason, HasSubstr("\"lockdown\" needs \"alwaysOn\""));
    EXPECT_FALSE(result.allAccepted());

    ASSERT_EQ(result.profiles.size(), 2u);
    const auto& first = result.profiles[0];
    EXPECT_EQ(first.profile.id.upperText(), kOffice);
    EXPECT_EQ(first.profile.remoteAddr, "vpn.example.com");
    EXPECT_TRUE(first.alwaysOn);
    EXPECT_TRUE(first.lockdown);
    EXPECT_FALSE(first.userMayDisconnect);
    EXPECT_EQ(first.sourceFile, "profiles.d/10-office.json");
    ASSERT_TRUE(first.secrets);
    EXPECT_EQ(first.secrets->xauthPassword, "psk-from-secrets");
    EXPECT_EQ(first.secretsOrigin, ManagedSecretsOrigin::secretsFile);

    const auto& second = result.profiles[1];
    EXPECT_EQ(second.profile.id.lowerText(), kBranch);
    EXPECT_EQ(second.profile.authMethod, VPNAuthMethod::eapMSCHAPv2);
    EXPECT_FALSE(second.alwaysOn);
    EXPECT_TRUE(second.userMayDisconnect);
    EXPECT_FALSE(second.secrets);
    EXPECT_EQ(second.secretsOrigin, ManagedSecretsOrigin::none);
}

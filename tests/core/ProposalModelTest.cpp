#include "shared/import/ProposalModel.h"

#include <gtest/gtest.h>

namespace torvane {
namespace {

std::optional<std::string> reparsed(std::string_view text) {
    const auto parsed = ParsedProposal::parse(text);
    return parsed ? std::optional(parsed->string()) : std::nullopt;
}

// How the pickers show and rewrite a proposal is the picker's test; here the
// parsing rules it does not reach.
TEST(ProposalModel, ParsesSingleProposalsIntoRoles) {
    EXPECT_EQ(*ParsedProposal::parse("aes256-sha512-ecp384"),
              (ParsedProposal{"aes256", "sha512", "", "ecp384"}));
    EXPECT_FALSE(ParsedProposal::parse("aes128ccm12")->encIsAEAD()) << "not in the table";

    // Roles are rendered in fixed order; the last token of a role wins.
    EXPECT_EQ(reparsed("aes256-ecp384-sha512"), "aes256-sha512-ecp384");
    EXPECT_EQ(reparsed("aes128-aes256-sha256"), "aes256-sha256");
    EXPECT_EQ(reparsed("aes256-aesxcbc-modp2048"), "aes256-aesxcbc-modp2048");
    EXPECT_EQ(reparsed("camellia256--sha256_96-prfsha384-x25519-"),
              "camellia256-sha256_96-prfsha384-x25519");
}

TEST(ProposalModel, LeavesWhatItCannotShowToFreeText) {
    EXPECT_FALSE(ParsedProposal::parse("aes256-sha256-ecp384,aes128-sha256-modp2048"));
    EXPECT_FALSE(ParsedProposal::parse(""));
    EXPECT_FALSE(ParsedProposal::parse("sha256-ecp384"));
    EXPECT_FALSE(ParsedProposal::parse("aes256-foo"));
    EXPECT_FALSE(ParsedProposal::parse("AES256")) << "tokens are case-sensitive";

    // A comma list is never rewritten by a picker.
    const std::string list = "aes256-sha256,aes128-sha1";
    EXPECT_EQ(chooseEncryption(list, "aes256gcm16"), list);
    EXPECT_EQ(chooseDHGroup(list, "ecp384"), list);
}

TEST(ProposalModel, OptionListsShowValuesOutsideTheTables) {
    const auto known = *ParsedProposal::parse("aes256-sha256-ecp384");
    EXPECT_EQ(encryptionOptions(known), knownEncAlgs());
    EXPECT_EQ(integrityOptions(known), knownIntegAlgs());

    const auto foreign = *ParsedProposal::parse("camellia256-md5-ecp224");
    EXPECT_EQ(encryptionOptions(foreign).back(), (EncAlg{"camellia256", "camellia256", false}));
    EXPECT_EQ(integrityOptions(foreign).back(), (IntegAlg{"md5", "md5"}));
    const auto dh = dhGroupOptions(foreign, true);
    ASSERT_EQ(dh.size(), knownDHGroups().size() + 2);
    EXPECT_EQ(dh.back().label(), "0 (ecp224)");

    // Without a DH group: "none" leads when asked for, else it is the extra
    // entry at the end.
    const auto noPFS = *ParsedProposal::parse("aes256gcm16");
    EXPECT_EQ(integrityOptions(noPFS), knownIntegAlgs());
    const auto withNone = dhGroupOptions(noPFS, true);
    EXPECT_EQ(withNone.front().label(), "None (no PFS)");
    EXPECT_EQ(withNone.size(), knownDHGroups().size() + 1);
    const auto withoutNone = dhGroupOptions(noPFS, false);
    EXPECT_EQ(withoutNone.back().label(), "None (no PFS)");
    EXPECT_EQ(withoutNone.size(), knownDHGroups().size() + 1);
}

TEST(ProposalModel, SelectionChangesKeepIntegrityConsistentWithAEAD) {
    EXPECT_EQ(chooseEncryption("aes256-sha512", "aes128"), "aes128-sha512")
        << "an existing integrity is kept";
    EXPECT_EQ(chooseEncryption("aes256gcm16", "aes128ccm12"), "aes128ccm12-sha256")
        << "only table entries count as AEAD";

    EXPECT_EQ(chooseIntegrity("aes256-sha256-modp2048", "sha384"), "aes256-sha384-modp2048");
    EXPECT_EQ(chooseDHGroup("aes256-sha256", "curve25519"), "aes256-sha256-curve25519");
}

} // namespace
} // namespace torvane

#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace torvane {

/// An encryption algorithm the proposal pickers offer; `name` is the
/// strongSwan token and the identity.
struct EncAlg {
    std::string name;
    std::string label;
    bool isAEAD = false;

    friend bool operator==(const EncAlg&, const EncAlg&) = default;
};

/// An integrity algorithm the pickers offer.
struct IntegAlg {
    std::string name;
    std::string label;

    friend bool operator==(const IntegAlg&, const IntegAlg&) = default;
};

/// A Diffie-Hellman group; an empty `name` means no DH group (no PFS). The
/// number is only shown, never written into a proposal.
struct DHGroup {
    int number = 0;
    std::string name;

    /// "None (no PFS)" for the empty name, else e.g. "20 (ecp384)".
    std::string label() const;

    friend bool operator==(const DHGroup&, const DHGroup&) = default;
};

/// The fixed tables, in picker order.
const std::vector<EncAlg>& knownEncAlgs();
const std::vector<IntegAlg>& knownIntegAlgs();
/// Without the "none" entry.
const std::vector<DHGroup>& knownDHGroups();

/// One proposal in strongSwan's dash syntax split into its roles. Only
/// single proposals the pickers can show are understood; anything else is
/// left to free-text editing and never rewritten.
struct ParsedProposal {
    /// Never empty in a parsed proposal.
    std::string encryption;
    std::string integrity;
    std::string prf;
    std::string dhGroup;

    /// Nothing for lists, empty text, a missing encryption or any token of
    /// unknown kind. A later token of a role replaces an earlier one.
    static std::optional<ParsedProposal> parse(std::string_view text);

    /// The non-empty roles joined by "-" in the order encryption, integrity,
    /// prf, DH group.
    std::string string() const;

    /// Whether the encryption is a table entry marked AEAD.
    bool encIsAEAD() const;

    friend bool operator==(const ParsedProposal&, const ParsedProposal&) = default;
};

/// The picker entries for a proposal: the table plus, when the current value
/// is not among them, one extra entry for it at the end so that the picker can
/// show it.
std::vector<EncAlg> encryptionOptions(const ParsedProposal& current);
std::vector<IntegAlg> integrityOptions(const ParsedProposal& current);
/// With `showNoPFS` the "none" entry comes first.
std::vector<DHGroup> dhGroupOptions(const ParsedProposal& current, bool showNoPFS);

/// Picker changes: each takes the current proposal text and returns the new
/// one; text that does not parse is returned unchanged. Choosing an AEAD
/// algorithm of the table drops the integrity algorithm (AEAD needs none);
/// choosing any other gives "sha256" where there was no integrity.
std::string chooseEncryption(std::string_view proposal, const std::string& name);
std::string chooseIntegrity(std::string_view proposal, const std::string& name);
/// An empty name chooses no DH group.
std::string chooseDHGroup(std::string_view proposal, const std::string& name);

} // namespace torvane

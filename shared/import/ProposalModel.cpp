#include "shared/import/ProposalModel.h"

#include <algorithm>

#include <QCoreApplication>

namespace torvane {
namespace {

bool startsWithAny(std::string_view token, std::initializer_list<std::string_view> prefixes) {
    return std::any_of(prefixes.begin(), prefixes.end(),
                       [&](std::string_view prefix) { return token.starts_with(prefix); });
}

template <class Entry> bool hasName(const std::vector<Entry>& entries, const std::string& name) {
    return std::any_of(entries.begin(), entries.end(),
                       [&](const Entry& entry) { return entry.name == name; });
}

} // namespace

std::string DHGroup::label() const {
    if (name.empty()) {
        return QCoreApplication::translate("ProposalModel", "None (no PFS)").toStdString();
    }
    return std::to_string(number) + " (" + name + ")";
}

const std::vector<EncAlg>& knownEncAlgs() {
    static const std::vector<EncAlg> table{
        {"aes128", "AES-128", false},
        {"aes192", "AES-192", false},
        {"aes256", "AES-256", false},
        {"aes128gcm16", "AES-128-GCM", true},
        {"aes192gcm16", "AES-192-GCM", true},
        {"aes256gcm16", "AES-256-GCM", true},
        {"chacha20poly1305", "ChaCha20-Poly1305", true},
        {"3des", QT_TRANSLATE_NOOP("ProposalModel", "3DES (legacy)"), false},
    };
    return table;
}

const std::vector<IntegAlg>& knownIntegAlgs() {
    static const std::vector<IntegAlg> table{
        {"sha256", "SHA-256"},
        {"sha384", "SHA-384"},
        {"sha512", "SHA-512"},
        {"aesxcbc", "AES-XCBC"},
        {"sha1", QT_TRANSLATE_NOOP("ProposalModel", "SHA-1 (legacy)")},
    };
    return table;
}

const std::vector<DHGroup>& knownDHGroups() {
    static const std::vector<DHGroup> table{
        {14, "modp2048"}, {15, "modp3072"}, {16, "modp4096"}, {18, "modp8192"},
        {19, "ecp256"},   {20, "ecp384"},   {21, "ecp521"},   {31, "curve25519"},
    };
    return table;
}

std::optional<ParsedProposal> ParsedProposal::parse(std::string_view text) {
    if (text.empty() || text.find(',') != std::string_view::npos) {
        return std::nullopt;
    }
    ParsedProposal parsed;
    while (!text.empty()) {
        const auto dash = text.find('-');
        const std::string_view token = text.substr(0, dash);
        text = dash == std::string_view::npos ? std::string_view{} : text.substr(dash + 1);
        if (token.empty()) {
            continue;
        }
        // Prefix rules in this order: "aesxcbc" starts like an encryption
        // algorithm but is an integrity one.
        if (token == "aesxcbc") {
            parsed.integrity = token;
        } else if (startsWithAny(token, {"aes", "3des", "camellia", "chacha"})) {
            parsed.encryption = token;
        } else if (startsWithAny(token, {"sha", "md5"})) {
            parsed.integrity = token;
        } else if (token.starts_with("prf")) {
            parsed.prf = token;
        } else if (startsWithAny(token, {"ecp", "modp", "curve"}) || token == "x25519") {
            parsed.dhGroup = token;
        } else {
            return std::nullopt;
        }
    }
    if (parsed.encryption.empty()) {
        return std::nullopt;
    }
    return parsed;
}

std::string ParsedProposal::string() const {
    std::string text = encryption;
    for (const std::string* role : {&integrity, &prf, &dhGroup}) {
        if (!role->empty()) {
            text += '-';
            text += *role;
        }
    }
    return text;
}

bool ParsedProposal::encIsAEAD() const {
    const auto& table = knownEncAlgs();
    const auto it = std::find_if(table.begin(), table.end(),
                                 [&](const EncAlg& alg) { return alg.name == encryption; });
    return it != table.end() && it->isAEAD;
}

std::vector<EncAlg> encryptionOptions(const ParsedProposal& current) {
    std::vector<EncAlg> options = knownEncAlgs();
    if (!hasName(options, current.encryption)) {
        options.push_back({current.encryption, current.encryption, false});
    }
    return options;
}

std::vector<IntegAlg> integrityOptions(const ParsedProposal& current) {
    std::vector<IntegAlg> options = knownIntegAlgs();
    if (!current.integrity.empty() && !hasName(options, current.integrity)) {
        options.push_back({current.integrity, current.integrity});
    }
    return options;
}

std::vector<DHGroup> dhGroupOptions(const ParsedProposal& current, bool showNoPFS) {
    std::vector<DHGroup> options;
    if (showNoPFS) {
        options.push_back({0, ""});
    }
    const auto& table = knownDHGroups();
    options.insert(options.end(), table.begin(), table.end());
    // An empty current value without the "none" entry gets one at the end,
    // so the picker can still show what the proposal holds.
    if (!hasName(options, current.dhGroup)) {
        options.push_back({0, current.dhGroup});
    }
    return options;
}

std::string chooseEncryption(std::string_view proposal, const std::string& name) {
    auto parsed = ParsedProposal::parse(proposal);
    if (!parsed) {
        return std::string(proposal);
    }
    parsed->encryption = name;
    const auto& table = knownEncAlgs();
    const auto it = std::find_if(table.begin(), table.end(),
                                 [&](const EncAlg& alg) { return alg.name == name; });
    if (it != table.end() && it->isAEAD) {
        parsed->integrity.clear();
    } else if (parsed->integrity.empty()) {
        parsed->integrity = "sha256";
    }
    return parsed->string();
}

std::string chooseIntegrity(std::string_view proposal, const std::string& name) {
    auto parsed = ParsedProposal::parse(proposal);
    if (!parsed) {
        return std::string(proposal);
    }
    parsed->integrity = name;
    return parsed->string();
}

std::string chooseDHGroup(std::string_view proposal, const std::string& name) {
    auto parsed = ParsedProposal::parse(proposal);
    if (!parsed) {
        return std::string(proposal);
    }
    parsed->dhGroup = name;
    return parsed->string();
}

} // namespace torvane

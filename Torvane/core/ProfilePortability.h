#pragma once

#include "Expected.h"
#include "VPNProfile.h"
#include "VPNSecrets.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

namespace torvane {

/// The `encryption` object of an export file: how the secrets were sealed.
struct SealedSecrets {
    /// Informational; never compared when reading.
    std::string kdf = "PBKDF2-HMAC-SHA256";
    /// PBKDF2 iterations; taken from the file when reading.
    std::int64_t rounds = 200000;
    /// Standard Base64 of the salt.
    std::string salt;
    /// Informational; never compared when reading.
    std::string cipher = "AES-256-GCM";
    /// Standard Base64 of nonce (12 bytes), ciphertext and tag (16 bytes).
    std::string sealed;

    friend bool operator==(const SealedSecrets&, const SealedSecrets&) = default;
};

/// The whole export file: the profile in clear, its secrets sealed under a
/// key derived from the user's passphrase.
struct ProfileExportDocument {
    std::string format = "kv.kelvor.torvane.profile";
    std::int64_t version = 1;
    /// Shown in the passphrase prompt before anything is decrypted.
    std::string name;
    VPNProfile profile;
    SealedSecrets encryption;

    friend bool operator==(const ProfileExportDocument&, const ProfileExportDocument&) = default;
};

/// Why an export file could not be made or read; `message()` is the sentence
/// the user sees.
class ProfilePortabilityError {
public:
    enum class Kind {
        unsupportedVersion,
        notATorvaneFile,
        malformed,
        incorrectPassphrase,
        keyDerivationFailed,
        randomFailed,
    };

    static ProfilePortabilityError unsupportedVersion(std::int64_t version) {
        return {Kind::unsupportedVersion, version};
    }
    static ProfilePortabilityError notATorvaneFile() { return {Kind::notATorvaneFile, 0}; }
    static ProfilePortabilityError malformed() { return {Kind::malformed, 0}; }
    static ProfilePortabilityError incorrectPassphrase() { return {Kind::incorrectPassphrase, 0}; }
    static ProfilePortabilityError keyDerivationFailed() { return {Kind::keyDerivationFailed, 0}; }
    static ProfilePortabilityError randomFailed() { return {Kind::randomFailed, 0}; }

    Kind kind() const { return m_kind; }
    /// The file's version, for `unsupportedVersion`.
    std::int64_t version() const { return m_version; }
    std::string message() const;

    friend bool operator==(const ProfilePortabilityError&,
                           const ProfilePortabilityError&) = default;

private:
    ProfilePortabilityError(Kind kind, std::int64_t version) : m_kind(kind), m_version(version) {}

    Kind m_kind;
    std::int64_t m_version;
};

/// Building and reading passphrase-protected profile files (".torvane").
/// Stateless; bytes travel as std::string. Key derivation runs on the
/// calling thread for the file's full round count.
namespace ProfilePortability {

inline constexpr const char* kFormat = "kv.kelvor.torvane.profile";
inline constexpr std::int64_t kVersion = 1;
inline constexpr std::int64_t kExportRounds = 200000;
/// The most rounds a file may ask for. The count comes from the file, so
/// without a bound a crafted file could keep the importer busy for hours;
/// this still leaves room for fifty times what we write.
inline constexpr std::int64_t kMaxRounds = 10000000;
inline constexpr std::size_t kSaltSize = 16;
inline constexpr std::size_t kNonceSize = 12;
inline constexpr std::size_t kTagSize = 16;

/// The complete file for a profile and its secrets, with fresh salt and nonce.
Expected<std::string, ProfilePortabilityError>
makeExportData(const VPNProfile& profile, const VPNSecrets& secrets, std::string_view passphrase);

/// Reads a file without the passphrase, so the prompt can show the name.
/// Anything not shaped like an export file is `notATorvaneFile`; a version
/// above ours is `unsupportedVersion`.
Expected<ProfileExportDocument, ProfilePortabilityError> readDocument(std::string_view data);

/// Opens the sealed secrets. The profile comes back with a new random id, so
/// importing next to the original never collides with it. A wrong passphrase
/// and a tampered box are both `incorrectPassphrase`.
Expected<std::pair<VPNProfile, VPNSecrets>, ProfilePortabilityError>
decode(const ProfileExportDocument& document, std::string_view passphrase);

/// Bytes from the system's secure random source, or `randomFailed`.
Expected<std::string, ProfilePortabilityError> randomData(std::size_t count);

/// The file text of a document: pretty-printed, keys sorted, "/" escaped.
std::string encodeDocument(const ProfileExportDocument& document);

/// The sealed box (nonce, ciphertext, tag) of `plaintext` under the key
/// derived from passphrase, salt and rounds. The building block of
/// makeExportData, taking the random parts as arguments.
Expected<std::string, ProfilePortabilityError> seal(std::string_view plaintext,
                                                    std::string_view passphrase,
                                                    std::string_view salt, std::string_view nonce,
                                                    std::uint32_t rounds);

} // namespace ProfilePortability
} // namespace torvane

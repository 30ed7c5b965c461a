#pragma once

#include "shared/Expected.h"
#include "shared/VPNProfile.h"
#include "shared/VPNSecrets.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

namespace torvane {

/// The `encryption` object of an export file: how the secrets were sealed.
struct SealedSecrets {
    /// Version 2 accepts this value only; version 1 never compares it.
    std::string kdf = "PBKDF2-HMAC-SHA256";
    /// PBKDF2 iterations; taken from the file when reading.
    std::int64_t rounds = 600000;
    /// Standard Base64 of the salt.
    std::string salt;
    /// Version 2 accepts this value only; version 1 never compares it.
    std::string cipher = "AES-256-GCM";
    /// Standard Base64 of nonce (12 bytes), ciphertext and tag (16 bytes).
    std::string sealed;

    friend bool operator==(const SealedSecrets&, const SealedSecrets&) = default;
};

/// The whole export file: the profile in clear, its secrets sealed under a
/// key derived from the user's passphrase.
struct ProfileExportDocument {
    std::string format = "kv.kelvor.torvane.profile";
    std::int64_t version = 2;
    /// Shown in the passphrase prompt before anything is decrypted.
    std::string name;
    VPNProfile profile;
    /// The file's `profile` object as parsed, unknown keys included, in the
    /// canonical text described with ExportFile. This text, not
    /// `profile`, is what encodeDocument writes and version 2 authenticates;
    /// readDocument sets it, and when it is empty `profile`'s JSON stands in.
    std::string profileJson;
    SealedSecrets encryption;

    friend bool operator==(const ProfileExportDocument&, const ProfileExportDocument&) = default;
};

/// Why an export file could not be made or read; `message()` is the sentence
/// the user sees.
class ExportFileError {
public:
    enum class Kind {
        unsupportedVersion,
        notATorvaneFile,
        malformed,
        incorrectPassphrase,
        keyDerivationFailed,
        randomFailed,
        unsupportedEncryption,
    };

    static ExportFileError unsupportedVersion(std::int64_t version) {
        return {Kind::unsupportedVersion, version};
    }
    static ExportFileError notATorvaneFile() { return {Kind::notATorvaneFile, 0}; }
    static ExportFileError malformed() { return {Kind::malformed, 0}; }
    /// A version 2 file cannot tell a wrong passphrase from an edited file,
    /// and its message says so; version 1's names the passphrase alone.
    static ExportFileError incorrectPassphrase(std::int64_t fileVersion = 1) {
        return {Kind::incorrectPassphrase, fileVersion};
    }
    static ExportFileError keyDerivationFailed() { return {Kind::keyDerivationFailed, 0}; }
    static ExportFileError randomFailed() { return {Kind::randomFailed, 0}; }
    static ExportFileError unsupportedEncryption() { return {Kind::unsupportedEncryption, 0}; }

    Kind kind() const { return m_kind; }
    /// The file's version, for `unsupportedVersion` and `incorrectPassphrase`.
    std::int64_t version() const { return m_version; }
    std::string message() const;

    friend bool operator==(const ExportFileError&, const ExportFileError&) = default;

private:
    ExportFileError(Kind kind, std::int64_t version) : m_kind(kind), m_version(version) {}

    Kind m_kind;
    std::int64_t m_version;
};

/// Building and reading passphrase-protected profile files (".torvane").
/// Stateless; bytes travel as std::string. Key derivation runs on the
/// calling thread for the file's full round count.
///
/// Version 1 seals the secrets alone: anyone who can write the file can
/// change the profile in clear (another gateway, more routes) unnoticed.
/// Version 2 seals the rest of the file along with them, as the additional
/// authenticated data of the AES-256-GCM box: the compact JSON text of
///
///   {"cipher":C,"format":F,"kdf":K,"name":N,"profile":P,"rounds":R,
///    "salt":S,"version":V}
///
/// with exactly these keys in this (sorted) order, no whitespace, C, F, K, N
/// and S the file's strings (S is the salt's Base64 text, not its bytes), R
/// and V its integers in decimal, and P the file's `profile` object as
/// parsed, every key it holds included, not the profile decoded from it.
/// The text of P and of every string is canonical, as encodeJsonText
/// writes it: objects with their keys sorted by their UTF-8 bytes, no
/// whitespace, strings in UTF-8 with only these escapes: \" \\ \/ \b \f \n
/// \r \t, and \u00xx (lower-case hex) for the other characters below
/// U+0020; integers in decimal (our files hold no other numbers); a key given
/// twice counts with its last value. Changing anything in the file but
/// `sealed` so makes the box fail to open. Version 2 also accepts only the
/// kdf and cipher below.
namespace ExportFile {

inline constexpr const char* kFormat = "kv.kelvor.torvane.profile";
inline constexpr const char* kKdf = "PBKDF2-HMAC-SHA256";
inline constexpr const char* kCipher = "AES-256-GCM";
/// The version written by default, and the newest one read.
inline constexpr std::int64_t kVersion = 2;
/// Written only on request, for builds that cannot read version 2.
inline constexpr std::int64_t kLegacyVersion = 1;
inline constexpr std::int64_t kExportRounds = 600000;
inline constexpr std::int64_t kLegacyExportRounds = 200000;
/// The most rounds a file may ask for. The count comes from the file, so
/// without a bound a crafted file could keep the importer busy for hours;
/// this still leaves room for sixteen times what we write.
inline constexpr std::int64_t kMaxRounds = 10000000;
inline constexpr std::size_t kSaltSize = 16;
inline constexpr std::size_t kNonceSize = 12;
inline constexpr std::size_t kTagSize = 16;

/// The complete file for a profile and its secrets, with fresh salt and
/// nonce, in `version` (kVersion or kLegacyVersion; another is
/// `unsupportedVersion`) with that version's round count.
Expected<std::string, ExportFileError> makeExportData(const VPNProfile& profile,
                                                      const VPNSecrets& secrets,
                                                      std::string_view passphrase,
                                                      std::int64_t version = kVersion);

/// Reads a file without the passphrase, so the prompt can show the name.
/// Anything not shaped like an export file is `notATorvaneFile`; a version
/// above ours is `unsupportedVersion`; a version 2 file naming another kdf
/// or cipher is `unsupportedEncryption`.
Expected<ProfileExportDocument, ExportFileError> readDocument(std::string_view data);

/// Opens the sealed secrets. The profile comes back with a new random id, so
/// importing next to the original never collides with it. A wrong
/// passphrase, a damaged box and (version 2) a file changed after export are
/// all `incorrectPassphrase`.
Expected<std::pair<VPNProfile, VPNSecrets>, ExportFileError>
decode(const ProfileExportDocument& document, std::string_view passphrase);

/// Bytes from the system's secure random source, or `randomFailed`.
Expected<std::string, ExportFileError> randomData(std::size_t count);

/// The file text of a document: pretty-printed, keys sorted, "/" escaped.
std::string encodeDocument(const ProfileExportDocument& document);

/// The additional authenticated data of a version 2 document (layout above).
std::string authenticatedData(const ProfileExportDocument& document);

/// `document` with `encryption.salt` and `encryption.sealed` set: `plaintext`
/// sealed under the key derived from passphrase, salt and the document's
/// rounds, bound to the document as its version requires. The building block
/// of makeExportData, taking the random parts as arguments.
Expected<ProfileExportDocument, ExportFileError>
seal(ProfileExportDocument document, std::string_view plaintext, std::string_view passphrase,
     std::string_view salt, std::string_view nonce);

} // namespace ExportFile
} // namespace torvane

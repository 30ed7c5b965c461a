#include "Torvane/core/ExportFile.h"

#include "shared/Base64.h"
#include "shared/JsonFields.h"
#include "shared/JsonText.h"

#include <array>
#include <climits>
#include <memory>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <QCoreApplication>
#include <nlohmann/json.hpp>

namespace torvane {
namespace {

using Error = ExportFileError;
using Key = std::array<unsigned char, 32>;

// Wipes a buffer that held key material or secrets on every way out of the
// scope, so nothing lingers in freed memory.
class CleanseOnExit {
public:
    CleanseOnExit(void* data, std::size_t size) : m_data(data), m_size(size) {}
    explicit CleanseOnExit(std::string& text) : CleanseOnExit(text.data(), text.size()) {}
    ~CleanseOnExit() { OPENSSL_cleanse(m_data, m_size); }
    CleanseOnExit(const CleanseOnExit&) = delete;
    CleanseOnExit& operator=(const CleanseOnExit&) = delete;

private:
    void* m_data;
    std::size_t m_size;
};

struct CipherContextFree {
    void operator()(EVP_CIPHER_CTX* context) const { EVP_CIPHER_CTX_free(context); }
};
using CipherContext = std::unique_ptr<EVP_CIPHER_CTX, CipherContextFree>;

const unsigned char* bytes(std::string_view text) {
    // OpenSSL wants a valid pointer even for zero lengths.
    static const unsigned char empty = 0;
    return text.empty() ? &empty : reinterpret_cast<const unsigned char*>(text.data());
}

bool deriveKey(std::string_view passphrase, std::string_view salt, std::uint32_t rounds, Key& key) {
    if (rounds == 0 || rounds > static_cast<std::uint32_t>(INT_MAX) ||
        passphrase.size() > INT_MAX || salt.size() > INT_MAX) {
        return false;
    }
    const char* password = passphrase.empty() ? "" : passphrase.data();
    return PKCS5_PBKDF2_HMAC(password, static_cast<int>(passphrase.size()), bytes(salt),
                             static_cast<int>(salt.size()), static_cast<int>(rounds), EVP_sha256(),
                             static_cast<int>(key.size()), key.data()) == 1;
}

// Feeds the additional authenticated data; none is fed for an empty one.
bool addAuthenticatedData(EVP_CIPHER_CTX* context, std::string_view aad, bool encrypting) {
    if (aad.empty()) {
        return true;
    }
    if (aad.size() > INT_MAX) {
        return false;
    }
    int ignored = 0;
    const auto update = encrypting ? EVP_EncryptUpdate : EVP_DecryptUpdate;
    return update(context, nullptr, &ignored, bytes(aad), static_cast<int>(aad.size())) == 1;
}

// AES-256-GCM; the result is nonce, ciphertext, tag.
std::optional<std::string> sealWithKey(const Key& key, std::string_view nonce,
                                       std::string_view plaintext, std::string_view aad) {
    using ExportFile::kNonceSize;
    using ExportFile::kTagSize;
    if (nonce.size() != kNonceSize || plaintext.size() > INT_MAX - kNonceSize - kTagSize) {
        return std::nullopt;
    }
    const CipherContext context(EVP_CIPHER_CTX_new());
    if (!context ||
        EVP_EncryptInit_ex(context.get(), EVP_aes_256_gcm(), nullptr, nullptr, nullptr) != 1 ||
        EVP_CIPHER_CTX_ctrl(context.get(), EVP_CTRL_GCM_SET_IVLEN, kNonceSize, nullptr) != 1 ||
        EVP_EncryptInit_ex(context.get(), nullptr, nullptr, key.data(), bytes(nonce)) != 1 ||
        !addAuthenticatedData(context.get(), aad, true)) {
        return std::nullopt;
    }
    std::string box(nonce);
    box.resize(kNonceSize + plaintext.size() + kTagSize);
    auto* out = reinterpret_cast<unsigned char*>(box.data()) + kNonceSize;
    int written = 0;
    if (!plaintext.empty() && EVP_EncryptUpdate(context.get(), out, &written, bytes(plaintext),
                                                static_cast<int>(plaintext.size())) != 1) {
        return std::nullopt;
    }
    int finalWritten = 0;
    if (EVP_EncryptFinal_ex(context.get(), out + written, &finalWritten) != 1 ||
        static_cast<std::size_t>(written + finalWritten) != plaintext.size() ||
        EVP_CIPHER_CTX_ctrl(context.get(), EVP_CTRL_GCM_GET_TAG, kTagSize,
                            out + plaintext.size()) != 1) {
        return std::nullopt;
    }
    return box;
}

// Nothing when the box is too short or does not authenticate under the key
// together with `aad`.
std::optional<std::string> openWithKey(const Key& key, std::string_view box, std::string_view aad) {
    using ExportFile::kNonceSize;
    using ExportFile::kTagSize;
    if (box.size() < kNonceSize + kTagSize || box.size() > INT_MAX) {
        return std::nullopt;
    }
    const std::string_view nonce = box.substr(0, kNonceSize);
    const std::string_view ciphertext = box.substr(kNonceSize, box.size() - kNonceSize - kTagSize);
    std::string tag(box.substr(box.size() - kTagSize));
    const CipherContext context(EVP_CIPHER_CTX_new());
    if (!context ||
        EVP_DecryptInit_ex(context.get(), EVP_aes_256_gcm(), nullptr, nullptr, nullptr) != 1 ||
        EVP_CIPHER_CTX_ctrl(context.get(), EVP_CTRL_GCM_SET_IVLEN, kNonceSize, nullptr) != 1 ||
        EVP_DecryptInit_ex(context.get(), nullptr, nullptr, key.data(), bytes(nonce)) != 1 ||
        !addAuthenticatedData(context.get(), aad, false)) {
        return std::nullopt;
    }
    std::string plaintext(ciphertext.size(), '\0');
    auto* out = reinterpret_cast<unsigned char*>(plaintext.data());
    int written = 0;
    int finalWritten = 0;
    const bool opened =
        (ciphertext.empty() || EVP_DecryptUpdate(context.get(), out, &written, bytes(ciphertext),
                                                 static_cast<int>(ciphertext.size())) == 1) &&
        EVP_CIPHER_CTX_ctrl(context.get(), EVP_CTRL_GCM_SET_TAG, kTagSize, tag.data()) == 1 &&
        EVP_DecryptFinal_ex(context.get(), out + written, &finalWritten) == 1;
    if (!opened) {
        // Whatever was decrypted before the tag check failed is not to be
        // trusted or kept.
        OPENSSL_cleanse(plaintext.data(), plaintext.size());
        return std::nullopt;
    }
    return plaintext;
}

// A scalar in compact form with every "/" escaped. In a scalar's text a "/"
// can only be inside a string, so escaping all of them is exact.
void appendScalar(std::string& out, const nlohmann::json& value) {
    for (const char c : value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace)) {
        if (c == '/') {
            out += '\\';
        }
        out += c;
    }
}

// Pretty form of the export file: one member or element per line, two
// spaces per level, " : " between key and value. nlohmann's objects keep
// their keys sorted, which gives the sorted order at every level.
void appendPretty(std::string& out, const nlohmann::json& value, int depth) {
    const std::string inner(static_cast<std::size_t>(depth + 1) * 2, ' ');
    const std::string closing(static_cast<std::size_t>(depth) * 2, ' ');
    if (value.is_object() && !value.empty()) {
        out += "{\n";
        bool first = true;
        for (const auto& [key, member] : value.items()) {
            if (!first) {
                out += ",\n";
            }
            first = false;
            out += inner;
            appendScalar(out, nlohmann::json(key));
            out += " : ";
            appendPretty(out, member, depth + 1);
        }
        out += "\n" + closing + "}";
    } else if (value.is_array() && !value.empty()) {
        out += "[\n";
        bool first = true;
        for (const auto& element : value) {
            if (!first) {
                out += ",\n";
            }
            first = false;
            out += inner;
            appendPretty(out, element, depth + 1);
        }
        out += "\n" + closing + "]";
    } else {
        appendScalar(out, value);
    }
}

std::optional<ProfileExportDocument> documentFromJson(const nlohmann::json& json) {
    if (!json.is_object()) {
        return std::nullopt;
    }
    ProfileExportDocument document;
    FieldReader reader(json);
    reader.require("format", document.format);
    reader.require("version", document.version);
    reader.require("name", document.name);
    if (reader.failed()) {
        return std::nullopt;
    }
    const auto profile = json.find("profile");
    const auto encryption = json.find("encryption");
    if (profile == json.end() || encryption == json.end() || !encryption->is_object()) {
        return std::nullopt;
    }
    auto decodedProfile = profileFromJson(*profile);
    if (!decodedProfile) {
        return std::nullopt;
    }
    document.profile = std::move(decodedProfile.value());
    // Canonical text of what the file holds, so that version 2 authenticates
    // the keys the decoder skipped and the values it defaulted too.
    document.profileJson = encodeJsonText(*profile);

    SealedSecrets& sealed = document.encryption;
    FieldReader sealedReader(*encryption);
    sealedReader.require("kdf", sealed.kdf);
    sealedReader.require("rounds", sealed.rounds);
    sealedReader.require("salt", sealed.salt);
    sealedReader.require("cipher", sealed.cipher);
    sealedReader.require("sealed", sealed.sealed);
    if (sealedReader.failed()) {
        return std::nullopt;
    }
    return document;
}

// The profile's canonical JSON text: the file's own when the document was
// read, else the encoded profile.
std::string canonicalProfile(const ProfileExportDocument& document) {
    return document.profileJson.empty() ? encodeJsonText(profileToJson(document.profile))
                                        : document.profileJson;
}

// Why a document's version rules out reading it, if they do.
std::optional<Error> versionRefusal(const ProfileExportDocument& document) {
    if (document.version > ExportFile::kVersion) {
        return Error::unsupportedVersion(document.version);
    }
    if (document.version >= 2 && (document.encryption.kdf != ExportFile::kKdf ||
                                  document.encryption.cipher != ExportFile::kCipher)) {
        return Error::unsupportedEncryption();
    }
    return std::nullopt;
}

} // namespace

std::string ExportFileError::message() const {
    const auto text = [](const char* source) {
        return QCoreApplication::translate("ExportFile", source).toStdString();
    };
    switch (m_kind) {
    case Kind::unsupportedVersion:
        return QCoreApplication::translate(
                   "ExportFile",
                   "This profile file uses a newer format (version %1) than this app understands.")
            .arg(m_version)
            .toStdString();
    case Kind::notATorvaneFile:
        return text(QT_TRANSLATE_NOOP("ExportFile", "This isn’t a Torvane profile file."));
    case Kind::malformed:
        return text(QT_TRANSLATE_NOOP("ExportFile", "The profile file is damaged or incomplete."));
    case Kind::incorrectPassphrase:
        if (m_version >= 2) {
            return text(QT_TRANSLATE_NOOP("ExportFile",
                                          "Incorrect passphrase, or the file was changed after it "
                                          "was exported — the secrets couldn’t be "
                                          "decrypted."));
        }
        return text(QT_TRANSLATE_NOOP("ExportFile",
                                      "Incorrect passphrase — the secrets couldn’t be decrypted."));
    case Kind::keyDerivationFailed:
        return text(QT_TRANSLATE_NOOP("ExportFile",
                                      "Could not derive the encryption key from the passphrase."));
    case Kind::randomFailed:
        return text(QT_TRANSLATE_NOOP("ExportFile",
                                      "Could not generate secure random data for encryption."));
    case Kind::unsupportedEncryption:
        return text(QT_TRANSLATE_NOOP("ExportFile", "This profile file protects its secrets with a "
                                                    "method this app doesn’t support."));
    }
    return {};
}

namespace ExportFile {

Expected<std::string, ExportFileError> randomData(std::size_t count) {
    std::string data(count, '\0');
    if (count > INT_MAX || (count > 0 && RAND_bytes(reinterpret_cast<unsigned char*>(data.data()),
                                                    static_cast<int>(count)) != 1)) {
        return Unexpected{Error::randomFailed()};
    }
    return data;
}

std::string authenticatedData(const ProfileExportDocument& document) {
    const auto text = [](const std::string& value) {
        return encodeJsonText(value);
    };
    const SealedSecrets& sealed = document.encryption;
    // Written out rather than built as a JSON object, so that the profile's
    // canonical text goes in as it is, without another parse.
    return "{\"cipher\":" + text(sealed.cipher) + ",\"format\":" + text(document.format) +
           ",\"kdf\":" + text(sealed.kdf) + ",\"name\":" + text(document.name) +
           ",\"profile\":" + canonicalProfile(document) +
           ",\"rounds\":" + std::to_string(sealed.rounds) + ",\"salt\":" + text(sealed.salt) +
           ",\"version\":" + std::to_string(document.version) + "}";
}

Expected<ProfileExportDocument, ExportFileError>
seal(ProfileExportDocument document, std::string_view plaintext, std::string_view passphrase,
     std::string_view salt, std::string_view nonce) {
    const std::int64_t rounds = document.encryption.rounds;
    Key key{};
    const CleanseOnExit keyGuard(key.data(), key.size());
    if (rounds <= 0 || rounds > kMaxRounds ||
        !deriveKey(passphrase, salt, static_cast<std::uint32_t>(rounds), key)) {
        return Unexpected{Error::keyDerivationFailed()};
    }
    document.encryption.salt = base64Encode(salt);
    const std::string aad = document.version >= 2 ? authenticatedData(document) : std::string();
    auto box = sealWithKey(key, nonce, plaintext, aad);
    if (!box) {
        return Unexpected{Error::malformed()};
    }
    document.encryption.sealed = base64Encode(*box);
    return document;
}

std::string encodeDocument(const ProfileExportDocument& document) {
    auto profile = parseJsonText(canonicalProfile(document));
    const nlohmann::json json{
        {"format", document.format},
        {"version", document.version},
        {"name", document.name},
        {"profile", profile ? std::move(*profile) : profileToJson(document.profile)},
        {"encryption",
         {
             {"kdf", document.encryption.kdf},
             {"rounds", document.encryption.rounds},
             {"salt", document.encryption.salt},
             {"cipher", document.encryption.cipher},
             {"sealed", document.encryption.sealed},
         }},
    };
    std::string text;
    appendPretty(text, json, 0);
    return text;
}

Expected<std::string, ExportFileError> makeExportData(const VPNProfile& profile,
                                                      const VPNSecrets& secrets,
                                                      std::string_view passphrase,
                                                      std::int64_t version) {
    if (version != kVersion && version != kLegacyVersion) {
        return Unexpected{Error::unsupportedVersion(version)};
    }
    auto salt = randomData(kSaltSize);
    if (!salt) {
        return Unexpected{salt.error()};
    }
    auto nonce = randomData(kNonceSize);
    if (!nonce) {
        return Unexpected{nonce.error()};
    }
    ProfileExportDocument document;
    document.version = version;
    document.name = profile.name;
    document.profile = profile;
    document.profileJson = encodeJsonText(profileToJson(profile));
    document.encryption.rounds = version == kLegacyVersion ? kLegacyExportRounds : kExportRounds;

    std::string plaintext = encodeSecrets(secrets);
    const CleanseOnExit plaintextGuard(plaintext);
    auto sealed = seal(std::move(document), plaintext, passphrase, *salt, *nonce);
    if (!sealed) {
        return Unexpected{sealed.error()};
    }
    return encodeDocument(*sealed);
}

Expected<ProfileExportDocument, ExportFileError> readDocument(std::string_view data) {
    const auto json = parseJsonText(data);
    if (!json) {
        return Unexpected{Error::notATorvaneFile()};
    }
    auto document = documentFromJson(*json);
    if (!document || document->format != kFormat) {
        return Unexpected{Error::notATorvaneFile()};
    }
    if (const auto refusal = versionRefusal(*document)) {
        return Unexpected{*refusal};
    }
    return std::move(*document);
}

Expected<std::pair<VPNProfile, VPNSecrets>, ExportFileError>
decode(const ProfileExportDocument& document, std::string_view passphrase) {
    if (const auto refusal = versionRefusal(document)) {
        return Unexpected{*refusal};
    }
    const auto salt = base64Decode(document.encryption.salt);
    const auto box = base64Decode(document.encryption.sealed);
    const std::int64_t rounds = document.encryption.rounds;
    if (!salt || !box || rounds < 0 || rounds > kMaxRounds) {
        return Unexpected{Error::malformed()};
    }
    Key key{};
    const CleanseOnExit keyGuard(key.data(), key.size());
    if (!deriveKey(passphrase, *salt, static_cast<std::uint32_t>(rounds), key)) {
        return Unexpected{Error::keyDerivationFailed()};
    }
    // Version 1 files (and the 0 and below that old readers let pass) carry
    // no additional data. A version 2 file edited to say 1 is opened without
    // it and fails like any other edit, since its box was sealed with it.
    const std::string aad = document.version >= 2 ? authenticatedData(document) : std::string();
    auto plaintext = openWithKey(key, *box, aad);
    if (!plaintext) {
        return Unexpected{Error::incorrectPassphrase(document.version)};
    }
    const CleanseOnExit plaintextGuard(*plaintext);
    auto secrets = decodeSecrets(*plaintext);
    if (!secrets) {
        return Unexpected{Error::malformed()};
    }
    VPNProfile profile = document.profile;
    profile.id = Uuid::random();
    return std::pair{std::move(profile), std::move(secrets.value())};
}

} // namespace ExportFile
} // namespace torvane

#include "shared/import/Pkcs12Bundle.h"

#include "shared/import/ImportText.h"
#include "shared/import/OpenSslHandles.h"

#include <cstdlib>
#include <mutex>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/provider.h>

namespace torvane {

namespace {

// Once any provider is loaded by hand OpenSSL no longer loads the default one
// by itself, so both are loaded together. The legacy algorithms stay
// available for the rest of the run; they are only decryption of old files.
// The providers are handed back before OpenSSL's own clean-up at exit, which
// does not release providers loaded by hand.
OSSL_PROVIDER* s_defaultProvider = nullptr;
OSSL_PROVIDER* s_legacyProvider = nullptr;

bool loadLegacyProvider() {
    static std::once_flag once;
    std::call_once(once, [] {
        s_defaultProvider = OSSL_PROVIDER_load(nullptr, "default");
        s_legacyProvider = OSSL_PROVIDER_load(nullptr, "legacy");
        std::atexit([] {
            for (auto* provider : {s_legacyProvider, s_defaultProvider}) {
                if (provider) {
                    OSSL_PROVIDER_unload(provider);
                }
            }
        });
    });
    return s_defaultProvider && s_legacyProvider;
}

enum class Opened { ok, wrongPassword, failed };

bool macMatches(PKCS12* bundle, const std::string& password) {
    if (!PKCS12_mac_present(bundle)) {
        return true;
    }
    // An empty password is written either as no password or as an empty
    // string, depending on the program that made the file.
    if (password.empty()) {
        return PKCS12_verify_mac(bundle, nullptr, 0) == 1 || PKCS12_verify_mac(bundle, "", 0) == 1;
    }
    return PKCS12_verify_mac(bundle, password.c_str(), static_cast<int>(password.size())) == 1;
}

Opened parse(PKCS12* bundle, const std::string& password, Pkcs12Contents& out) {
    if (!macMatches(bundle, password)) {
        ERR_clear_error();
        return Opened::wrongPassword;
    }
    EVP_PKEY* rawKey = nullptr;
    X509* rawCertificate = nullptr;
    STACK_OF(X509)* rawChain = nullptr;
    int parsed = PKCS12_parse(bundle, password.c_str(), &rawKey, &rawCertificate, &rawChain);
    if (parsed != 1) {
        ERR_clear_error();
        // The password is right, so an unknown cipher is what stopped it.
        if (!loadLegacyProvider()) {
            return Opened::failed;
        }
        parsed = PKCS12_parse(bundle, password.c_str(), &rawKey, &rawCertificate, &rawChain);
        ERR_clear_error();
    }
    const KeyHandle key(rawKey);
    const X509Handle certificate(rawCertificate);
    const X509StackHandle chain(rawChain);
    if (parsed != 1 || !key || !certificate) {
        return Opened::failed;
    }
    const BioHandle keyOut(BIO_new(BIO_s_mem()));
    if (!keyOut || PEM_write_bio_PrivateKey(keyOut.get(), key.get(), nullptr, nullptr, 0, nullptr,
                                            nullptr) != 1) {
        return Opened::failed;
    }
    out.privateKeyPEM = bioText(keyOut.get());
    out.certificatePEM = certificatePem(certificate.get());
    out.extraCertificates = chain ? sk_X509_num(chain.get()) : 0;
    return out.certificatePEM.empty() ? Opened::failed : Opened::ok;
}

} // namespace

Expected<Pkcs12Contents, ImportError> Pkcs12Bundle::open(std::string_view bytes,
                                                         const std::string& what,
                                                         std::optional<std::string> knownPassword,
                                                         const ImportPasswordPrompt& askPassword) {
    const auto* cursor = reinterpret_cast<const unsigned char*>(bytes.data());
    const Pkcs12Handle bundle(d2i_PKCS12(nullptr, &cursor, static_cast<long>(bytes.size())));
    if (!bundle) {
        ERR_clear_error();
        return Unexpected{ImportError{
            importText(QT_TRANSLATE_NOOP("ProfileImport", "The %1 is not a PKCS#12 file."), what)}};
    }
    Pkcs12Contents contents;
    const auto attempt = [&](const std::string& password) {
        return parse(bundle.get(), password, contents);
    };
    Opened result = Opened::wrongPassword;
    if (knownPassword) {
        result = attempt(*knownPassword);
    }
    if (result == Opened::wrongPassword) {
        result = attempt({});
    }
    bool again = knownPassword.has_value();
    while (result == Opened::wrongPassword) {
        auto password = askPassword ? askPassword(what, again) : std::nullopt;
        if (!password) {
            return Unexpected{ImportError{importText(
                QT_TRANSLATE_NOOP("ProfileImport", "The password of the %1 was not given."),
                what)}};
        }
        result = attempt(*password);
        again = true;
    }
    if (result == Opened::failed) {
        return Unexpected{ImportError{importText(
            QT_TRANSLATE_NOOP("ProfileImport",
                              "The %1 could not be opened: it holds no certificate with its "
                              "private key, or uses a cipher OpenSSL does not offer."),
            what)}};
    }
    return contents;
}

} // namespace torvane

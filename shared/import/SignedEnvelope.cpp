#include "shared/import/SignedEnvelope.h"

#include "shared/import/ImportText.h"
#include "shared/import/OpenSslHandles.h"

#include <openssl/err.h>
#include <openssl/objects.h>

namespace torvane {

namespace {

StoreHandle trustStore(const ImportOptions& options) {
    StoreHandle store(X509_STORE_new());
    if (!store) {
        return store;
    }
    if (options.trustFile.empty() && options.trustDir.empty()) {
        X509_STORE_set_default_paths(store.get());
    } else {
        X509_STORE_load_locations(store.get(),
                                  options.trustFile.empty() ? nullptr : options.trustFile.c_str(),
                                  options.trustDir.empty() ? nullptr : options.trustDir.c_str());
    }
    // Profile signing certificates carry code-signing or no extended key
    // usage at all; the question asked here is only who vouches for them.
    X509_STORE_set_purpose(store.get(), X509_PURPOSE_ANY);
    ERR_clear_error();
    return store;
}

} // namespace

bool SignedEnvelope::looksSigned(std::string_view bytes) {
    // A DER SEQUENCE whose first element is the signedData object
    // identifier 1.2.840.113549.1.7.2.
    static constexpr std::string_view kSignedDataOid =
        "\x06\x09\x2a\x86\x48\x86\xf7\x0d\x01\x07\x02";
    return bytes.size() > 16 && bytes[0] == '\x30' &&
           bytes.substr(0, 16).find(kSignedDataOid) != std::string_view::npos;
}

Expected<UnwrappedEnvelope, ImportError> SignedEnvelope::unwrap(std::string_view bytes,
                                                                const ImportOptions& options) {
    const auto in = memoryBio(bytes);
    const CmsHandle cms(d2i_CMS_bio(in.get(), nullptr));
    if (!cms || OBJ_obj2nid(CMS_get0_type(cms.get())) != NID_pkcs7_signed) {
        ERR_clear_error();
        return Unexpected{ImportError{importText(
            QT_TRANSLATE_NOOP("ProfileImport", "The file's signature envelope is damaged."))}};
    }
    const auto store = trustStore(options);
    if (!store) {
        return Unexpected{ImportError{importText(
            QT_TRANSLATE_NOOP("ProfileImport", "The system's trust store could not be read."))}};
    }
    UnwrappedEnvelope result;
    const BioHandle out(BIO_new(BIO_s_mem()));
    if (CMS_verify(cms.get(), nullptr, store.get(), nullptr, out.get(), CMS_BINARY) == 1) {
        result.signature.state = ImportSignature::State::trusted;
    } else {
        ERR_clear_error();
        const BioHandle retry(BIO_new(BIO_s_mem()));
        if (CMS_verify(cms.get(), nullptr, nullptr, nullptr, retry.get(),
                       CMS_BINARY | CMS_NO_SIGNER_CERT_VERIFY) != 1) {
            ERR_clear_error();
            return Unexpected{ImportError{importText(QT_TRANSLATE_NOOP(
                "ProfileImport",
                "The file's signature does not match its content: it was changed after "
                "it was signed, or the signer's certificate is missing."))}};
        }
        result.signature.state = ImportSignature::State::notTrusted;
        result.content = bioText(retry.get());
    }
    if (result.signature.state == ImportSignature::State::trusted) {
        result.content = bioText(out.get());
    }
    // The stack is ours, the certificates in it belong to the envelope.
    STACK_OF(X509)* signers = CMS_get0_signers(cms.get());
    if (signers && sk_X509_num(signers) > 0) {
        result.signature.signer = nameText(X509_get_subject_name(sk_X509_value(signers, 0)));
    }
    sk_X509_free(signers);
    return result;
}

} // namespace torvane

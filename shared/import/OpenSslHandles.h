#pragma once

#include <memory>
#include <openssl/bio.h>
#include <openssl/cms.h>
#include <openssl/evp.h>
#include <openssl/pkcs12.h>
#include <openssl/x509.h>
#include <string>
#include <string_view>

namespace torvane {

// Owning handles for the OpenSSL objects the importer uses, so that every
// early return frees what it made.
struct OpenSslFree {
    void operator()(BIO* p) const { BIO_free_all(p); }
    void operator()(X509* p) const { X509_free(p); }
    void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); }
    void operator()(PKCS12* p) const { PKCS12_free(p); }
    void operator()(CMS_ContentInfo* p) const { CMS_ContentInfo_free(p); }
    void operator()(X509_STORE* p) const { X509_STORE_free(p); }
    void operator()(STACK_OF(X509) * p) const { sk_X509_pop_free(p, X509_free); }
};

using BioHandle = std::unique_ptr<BIO, OpenSslFree>;
using X509Handle = std::unique_ptr<X509, OpenSslFree>;
using KeyHandle = std::unique_ptr<EVP_PKEY, OpenSslFree>;
using Pkcs12Handle = std::unique_ptr<PKCS12, OpenSslFree>;
using CmsHandle = std::unique_ptr<CMS_ContentInfo, OpenSslFree>;
using StoreHandle = std::unique_ptr<X509_STORE, OpenSslFree>;
using X509StackHandle = std::unique_ptr<STACK_OF(X509), OpenSslFree>;

/// A read-only memory BIO over `bytes`, which must outlive it.
BioHandle memoryBio(std::string_view bytes);
/// Everything written to a memory BIO so far.
std::string bioText(BIO* bio);
std::string certificatePem(X509* certificate);
/// A distinguished name on one line, in certificate order ("C=DE, O=…, CN=…").
std::string nameText(const X509_NAME* name);

} // namespace torvane

#include "shared/import/Certificates.h"

#include "shared/import/OpenSslHandles.h"

#include <openssl/pem.h>
#include <openssl/x509.h>

namespace torvane {

std::optional<std::string> certificateToPem(std::string_view derOrPem) {
    X509Handle certificate;
    if (derOrPem.find("-----BEGIN CERTIFICATE-----") != std::string_view::npos) {
        const auto in = memoryBio(derOrPem);
        certificate.reset(PEM_read_bio_X509(in.get(), nullptr, nullptr, nullptr));
    } else {
        const auto* cursor = reinterpret_cast<const unsigned char*>(derOrPem.data());
        const auto* end = cursor + derOrPem.size();
        certificate.reset(d2i_X509(nullptr, &cursor, static_cast<long>(derOrPem.size())));
        // Trailing bytes after the certificate mean it was not one DER object.
        if (certificate && cursor != end) {
            certificate.reset();
        }
    }
    if (!certificate) {
        return std::nullopt;
    }
    return certificatePem(certificate.get());
}

std::string certificateSubject(std::string_view pem) {
    const auto in = memoryBio(pem);
    const X509Handle certificate(PEM_read_bio_X509(in.get(), nullptr, nullptr, nullptr));
    return certificate ? nameText(X509_get_subject_name(certificate.get())) : std::string{};
}

} // namespace torvane

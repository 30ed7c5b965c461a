#include "shared/import/OpenSslHandles.h"

#include <openssl/pem.h>

namespace torvane {

BioHandle memoryBio(std::string_view bytes) {
    // OpenSSL wants a valid pointer even for zero lengths.
    static const char empty = 0;
    return BioHandle(
        BIO_new_mem_buf(bytes.empty() ? &empty : bytes.data(), static_cast<int>(bytes.size())));
}

std::string bioText(BIO* bio) {
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    return size > 0 ? std::string(data, static_cast<std::size_t>(size)) : std::string{};
}

std::string certificatePem(X509* certificate) {
    const BioHandle out(BIO_new(BIO_s_mem()));
    if (!out || PEM_write_bio_X509(out.get(), certificate) != 1) {
        return {};
    }
    return bioText(out.get());
}

std::string nameText(const X509_NAME* name) {
    const BioHandle out(BIO_new(BIO_s_mem()));
    if (!out || X509_NAME_print_ex(out.get(), name, 0,
                                   XN_FLAG_ONELINE & ~ASN1_STRFLGS_ESC_MSB & ~XN_FLAG_SPC_EQ) < 0) {
        return {};
    }
    return bioText(out.get());
}

} // namespace torvane

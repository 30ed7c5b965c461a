#pragma once

#include "shared/import/ImportResult.h"

#include <optional>
#include <string>
#include <string_view>

namespace torvane {

/// The client identity inside a PKCS#12 file.
struct Pkcs12Contents {
    std::string certificatePEM;
    /// PKCS#8 PEM, unencrypted: it goes straight into the secret store.
    std::string privateKeyPEM;
    /// Further certificates of the bundle (usually its CA chain).
    int extraCertificates = 0;
};

/// Opens PKCS#12 bundles. The password given with the file is tried first,
/// then an empty one, then the user is asked until the password is right or
/// they cancel. Bundles encrypted the legacy way (RC2, 3DES with SHA-1) open
/// too: OpenSSL's legacy provider is loaded the first time one needs it.
class Pkcs12Bundle {
public:
    /// `what` names the bundle in the password prompt.
    static Expected<Pkcs12Contents, ImportError> open(std::string_view bytes,
                                                      const std::string& what,
                                                      std::optional<std::string> knownPassword,
                                                      const ImportPasswordPrompt& askPassword);
};

} // namespace torvane

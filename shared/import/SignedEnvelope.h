#pragma once

#include "shared/import/ImportResult.h"

#include <string>
#include <string_view>

namespace torvane {

/// The content of a CMS/PKCS#7 SignedData envelope and what its signature
/// says.
struct UnwrappedEnvelope {
    std::string content;
    ImportSignature signature;
};

/// Unwraps a signed file (DER). The signature must match the content; the
/// signer is then checked against the trust anchors of `options` (the
/// system's store by default) and reported as trusted or not. A signature
/// that does not match is refused: the file was changed after signing.
class SignedEnvelope {
public:
    static bool looksSigned(std::string_view bytes);
    static Expected<UnwrappedEnvelope, ImportError> unwrap(std::string_view bytes,
                                                           const ImportOptions& options);
};

} // namespace torvane

#pragma once

#include "shared/DecodeError.h"
#include "shared/Expected.h"

#include <string>
#include <string_view>

namespace torvane {

/// The secret material of one profile. Both fields are always given; an
/// empty string means none.
struct VPNSecrets {
    /// The XAuth/EAP password, or the pre-shared key for PSK methods.
    std::string xauthPassword;
    /// The private key belonging to the profile's client certificate.
    std::string privateKeyPEM;

    friend bool operator==(const VPNSecrets&, const VPNSecrets&) = default;
};

std::string encodeSecrets(const VPNSecrets& secrets);
/// Both keys are required and must hold strings; extra keys are ignored.
Expected<VPNSecrets, DecodeError> decodeSecrets(std::string_view text);

} // namespace torvane

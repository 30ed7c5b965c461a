#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace torvane {

/// One X.509 certificate given as DER or PEM, as PEM text; nothing when the
/// bytes are not a certificate.
std::optional<std::string> certificateToPem(std::string_view derOrPem);

/// The subject of a PEM certificate on one line ("CN=VPN CA, O=Example"),
/// for the import report; empty when it does not parse.
std::string certificateSubject(std::string_view pem);

} // namespace torvane

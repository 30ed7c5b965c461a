#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace torvane {

/// How the client authenticates to the gateway. Written to JSON as its raw
/// value; the raw values are case-sensitive.
enum class VPNAuthMethod {
    xauth,
    certificate,
    eapMSCHAPv2,
    eapTLS,
    psk,
    pskMutual,
};

/// Every method in declaration order, the order the editor lists them in.
inline constexpr std::array<VPNAuthMethod, 6> kAllAuthMethods = {
    VPNAuthMethod::xauth,  VPNAuthMethod::certificate, VPNAuthMethod::eapMSCHAPv2,
    VPNAuthMethod::eapTLS, VPNAuthMethod::psk,         VPNAuthMethod::pskMutual,
};

std::string_view rawValue(VPNAuthMethod method);
std::optional<VPNAuthMethod> authMethodFromRawValue(std::string_view raw);

/// The label shown in the editor's picker.
std::string_view label(VPNAuthMethod method);

/// The secret's `xauthPassword` holds an XAuth or EAP password.
bool usesPassword(VPNAuthMethod method);
/// The secret's `xauthPassword` holds a pre-shared key.
bool usesPSK(VPNAuthMethod method);
/// The client presents a certificate and needs its private key.
bool usesClientCertificate(VPNAuthMethod method);

} // namespace torvane

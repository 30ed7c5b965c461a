#include "shared/VPNAuthMethod.h"

namespace torvane {

std::string_view rawValue(VPNAuthMethod method) {
    switch (method) {
    case VPNAuthMethod::xauth:
        return "xauth";
    case VPNAuthMethod::certificate:
        return "certificate";
    case VPNAuthMethod::eapMSCHAPv2:
        return "eapMSCHAPv2";
    case VPNAuthMethod::eapTLS:
        return "eapTLS";
    case VPNAuthMethod::psk:
        return "psk";
    case VPNAuthMethod::pskMutual:
        return "pskMutual";
    }
    return {};
}

std::optional<VPNAuthMethod> authMethodFromRawValue(std::string_view raw) {
    for (const auto method : kAllAuthMethods) {
        if (rawValue(method) == raw) {
            return method;
        }
    }
    return std::nullopt;
}

std::string_view label(VPNAuthMethod method) {
    switch (method) {
    case VPNAuthMethod::xauth:
        return "Certificate + XAuth";
    case VPNAuthMethod::certificate:
        return "Certificate only";
    case VPNAuthMethod::eapMSCHAPv2:
        return "EAP-MSCHAPv2 (username/password)";
    case VPNAuthMethod::eapTLS:
        return "EAP-TLS (certificate)";
    case VPNAuthMethod::psk:
        return "Pre-shared key + gateway certificate";
    case VPNAuthMethod::pskMutual:
        return "Pre-shared key (mutual)";
    }
    return {};
}

bool usesPassword(VPNAuthMethod method) {
    return method == VPNAuthMethod::xauth || method == VPNAuthMethod::eapMSCHAPv2;
}

bool usesPSK(VPNAuthMethod method) {
    return method == VPNAuthMethod::psk || method == VPNAuthMethod::pskMutual;
}

bool usesClientCertificate(VPNAuthMethod method) {
    return !usesPSK(method) && method != VPNAuthMethod::eapMSCHAPv2;
}

} // namespace torvane

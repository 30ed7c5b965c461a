#include "helper/strongswan/StagingLayout.h"

namespace torvane {

std::string strongswanName(const Uuid& id) {
    return "ov-" + id.lowerText();
}

std::string connectionFilePath(const Uuid& id) {
    return "conf.d/" + id.lowerText() + ".conf";
}

std::string caCertFilePath(const Uuid& id) {
    return "x509ca/ca-" + id.lowerText() + ".pem";
}

std::string clientCertFilePath(const Uuid& id) {
    return "x509/client-" + id.lowerText() + ".crt";
}

std::string privateKeyFilePath(const Uuid& id) {
    return "private/client-" + id.lowerText() + ".key";
}

bool stagesCACert(VPNAuthMethod method) {
    return method != VPNAuthMethod::pskMutual;
}

bool stagesClientCertAndKey(VPNAuthMethod method) {
    return method == VPNAuthMethod::xauth || method == VPNAuthMethod::certificate ||
           method == VPNAuthMethod::eapTLS;
}

std::string viciUri(std::string_view stagingRoot) {
    return "unix://" + std::string(stagingRoot) + "/" + std::string(kViciSocketFile);
}

} // namespace torvane

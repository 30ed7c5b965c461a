#pragma once

#include "shared/Uuid.h"
#include "shared/VPNAuthMethod.h"

#include <array>
#include <string>
#include <string_view>

namespace torvane {

/// Names inside the staging root that charon and swanctl are pointed at.
/// Everything a tunnel stages is named after its profile's UUID in lower
/// case, so two tunnels never share a file.

/// The tunnel's strongSwan name: connection, IKE SA and CHILD SA are all
/// called "ov-" + lower-case UUID.
std::string strongswanName(const Uuid& id);

/// The swanctl directory below the staging root.
inline constexpr std::string_view kSwanctlDirectory = "swanctl";

/// The subdirectories swanctl expects below its directory, in the order
/// they are created.
inline constexpr std::array<std::string_view, 13> kSwanctlSubdirectories = {
    "x509", "x509ca", "x509aa", "x509ac", "x509crl", "x509ocsp", "private",
    "rsa",  "ecdsa",  "pkcs8",  "pkcs12", "pubkey",  "conf.d",
};

/// swanctl.conf, rewritten on every staging: it only pulls in the
/// per-tunnel connection files.
inline constexpr std::string_view kSwanctlConfText = "include conf.d/*.conf\n";

/// The generated strongswan.conf and the VICI socket charon creates, both
/// directly below the staging root.
inline constexpr std::string_view kStrongswanConfFile = "strongswan.conf";
inline constexpr std::string_view kViciSocketFile = "charon.vici";

/// Paths relative to the swanctl directory.
inline constexpr std::string_view kSwanctlConfFile = "swanctl.conf";
/// conf.d/<uuid>.conf, the tunnel's connection and secrets.
std::string connectionFilePath(const Uuid& id);
/// x509ca/ca-<uuid>.pem, the CA or gateway certificate.
std::string caCertFilePath(const Uuid& id);
/// x509/client-<uuid>.crt, the client certificate.
std::string clientCertFilePath(const Uuid& id);
/// private/client-<uuid>.key, the client certificate's private key.
std::string privateKeyFilePath(const Uuid& id);

/// Whether staging writes the CA file for this method: every method but
/// pskMutual authenticates the gateway by certificate, so the file is written
/// even when the profile holds no certificate.
bool stagesCACert(VPNAuthMethod method);
/// Whether staging writes the client certificate and its private key.
bool stagesClientCertAndKey(VPNAuthMethod method);

/// "unix://" + staging root + "/charon.vici", the URI every swanctl run uses
/// and the socket the generated strongswan.conf gives charon.
std::string viciUri(std::string_view stagingRoot);

} // namespace torvane

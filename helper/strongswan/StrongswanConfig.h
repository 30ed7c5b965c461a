#pragma once

#include "shared/VPNProfile.h"
#include "shared/VPNSecrets.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace torvane {

/// The text of the files charon and swanctl read. Pure builders: the same
/// profile always gives the same bytes, and nothing is written here.
///
/// Quoted values (identities, passwords, pre-shared keys) are escaped so
/// strongSwan reads them back unchanged. Values written without quotes are
/// inserted as they are: call `swanctlValueProblem` first and refuse the
/// profile when it reports a problem.

/// strongswan.conf for charon: includes `strongswanEtcDir` + "/strongswan.conf"
/// (the base configuration shipped in Resources/strongswan/etc), forbids
/// charon to install routes, puts the VICI socket into `stagingRoot` and
/// keeps charon's own DNS plugins from loading. Both paths are the daemon's
/// own and are written without quotes. Ends with "}" and no newline.
std::string renderStrongswanConf(std::string_view strongswanEtcDir, std::string_view stagingRoot);

/// conf.d/<uuid>.conf: the tunnel's connection with its one child, then its
/// secrets. Ends with "}" and no newline.
std::string renderSwanctlConf(const VPNProfile& profile, const VPNSecrets& secrets);

/// The local authentication round(s) of the connection (two for XAuth).
std::string renderLocalAuth(const VPNProfile& profile);

/// The remote authentication round: the gateway's certificate against the
/// staged CA, or the pre-shared key for pskMutual.
std::string renderRemoteAuth(const VPNProfile& profile);

/// The secrets section's blocks, joined by "\n" with no trailing newline.
std::string renderSecrets(const VPNProfile& profile, const VPNSecrets& secrets);

/// The IKE version written for the profile: XAuth is IKEv1 only, the EAP
/// methods IKEv2 only; the others take the profile's `ikeVersion`.
std::int64_t ikeVersionFor(const VPNProfile& profile);

} // namespace torvane

#pragma once

#include "shared/VPNProfile.h"
#include "shared/VPNSecrets.h"

#include <optional>
#include <string>

namespace torvane {

/// Where a managed profile's secrets come from.
enum class ManagedSecretsOrigin {
    /// None known: asked from the user at connect, as for the user's profiles.
    none,
    /// Carried by the profile file itself (a .sswan's or .mobileconfig's PSK
    /// or certificate key).
    profileFile,
    /// secrets.d/<UUID>.json, possibly completed by the profile file.
    secretsFile,
    /// secrets.d/<UUID>.json exists, or secrets.d cannot be listed, and this
    /// process may not read it (a check run by another user than root).
    secretsFileNotReadable,
};

/// A profile an administrator installed, with the rules that come with it.
struct ManagedProfile {
    VPNProfile profile;
    /// Connected at daemon start and kept connected.
    bool alwaysOn = false;
    /// With alwaysOn: the kill switch holds whenever the tunnel is not up.
    bool lockdown = false;
    /// false: stop is refused for non-root clients without authorization.
    bool userMayDisconnect = true;
    /// The file it came from, relative to the config dir ("profiles.d/office.json").
    std::string sourceFile;
    std::optional<VPNSecrets> secrets;
    ManagedSecretsOrigin secretsOrigin = ManagedSecretsOrigin::none;

    friend bool operator==(const ManagedProfile&, const ManagedProfile&) = default;
};

} // namespace torvane

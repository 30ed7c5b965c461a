#pragma once

#include "shared/DecodeError.h"
#include "shared/Expected.h"
#include "shared/managed/ManagedProfile.h"

#include <string>
#include <string_view>
#include <vector>

namespace torvane {

/// The managed profiles as clients are told of them: each the JSON of its
/// profile record plus "alwaysOn", "lockdown", "userMayDisconnect" and
/// "sourceFile". Secrets never leave the daemon: only where they come from
/// ("secrets": "none", "profileFile" or "secretsFile") is written.
std::string encodeManagedProfiles(const std::vector<ManagedProfile>& profiles);

/// Fails when the text is not a JSON list or an element is not a profile;
/// the profiles come back without secrets.
Expected<std::vector<ManagedProfile>, DecodeError> decodeManagedProfiles(std::string_view text);

} // namespace torvane

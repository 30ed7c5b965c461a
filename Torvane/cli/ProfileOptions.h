#pragma once

#include "Torvane/cli/CommandLine.h"
#include "shared/Expected.h"
#include "shared/VPNProfile.h"
#include "shared/VPNSecrets.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace torvane::cli {

/// Why a command cannot go on: the sentence for the user and the exit
/// status (1 failure, 2 usage error).
struct CommandError {
    std::string message;
    int exitStatus = 1;
};

/// A profile the user named, with its position in the list (from 0).
struct FoundProfile {
    VPNProfile profile;
    std::size_t position = 0;
};

/// The profile whose name or id (in any case) is `nameOrId`. A text that
/// names one profile and is the id of another, or a name several profiles
/// share, is ambiguous and refused.
Expected<FoundProfile, CommandError> findProfile(const std::vector<VPNProfile>& profiles,
                                                 const std::string& nameOrId);

/// A new profile and the secrets to store with it (none when no secret file
/// was given), from the options of `add`. Files are read here.
struct NewProfile {
    VPNProfile profile;
    std::optional<VPNSecrets> secrets;
};
Expected<NewProfile, CommandError> profileFromOptions(const Invocation& invocation,
                                                      const std::vector<VPNProfile>& existing);

/// `list`'s table: a header and one row per profile. The administrator's
/// `managed` profiles come first: their position is "-" and a last column
/// says "managed". The user's follow, numbered by their place in the user's
/// list (what `move` and `remove` count); one that a managed profile with its
/// UUID hides in the app is marked "hidden". Without managed profiles the
/// table has its five columns only.
std::string formatProfileList(const std::vector<VPNProfile>& userProfiles,
                              const std::vector<VPNProfile>& managed = {});

} // namespace torvane::cli

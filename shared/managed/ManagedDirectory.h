#pragma once

#include "shared/managed/ManagedProfile.h"

#include <string>
#include <vector>

namespace torvane {

/// Where the daemon looks for managed profiles unless told otherwise.
inline constexpr const char* kDefaultConfigDir = "/etc/torvane";

/// What became of one file (or of a whole directory) under the config dir.
struct ManagedVerdict {
    enum class Outcome {
        accepted,
        /// Not looked at: wrong owner, mode, type or size.
        ignored,
        /// Looked at and unusable: format, content or a conflict.
        refused,
        /// A secrets file this process may not read; not a fault of the file.
        notReadable,
    };

    /// Relative to the config dir: "profiles.d/office.json", "secrets.d".
    std::string file;
    Outcome outcome = Outcome::accepted;
    /// One sentence: what the file gave when accepted, else what is wrong.
    std::string reason;

    /// The log line: "profiles.d/office.json: ignored: writable by its group …".
    std::string text() const;

    friend bool operator==(const ManagedVerdict&, const ManagedVerdict&) = default;
};

/// Everything read from one config dir.
struct ManagedDirectory {
    /// In the order the files were read: profiles.d in file-name order, each
    /// profile file followed by the verdicts on its secrets files.
    std::vector<ManagedVerdict> verdicts;
    /// The accepted profiles in priority order (file-name order, then the
    /// order within a file).
    std::vector<ManagedProfile> profiles;

    /// No verdict other than accepted or notReadable.
    bool allAccepted() const;
};

/// Reads `<configDir>/profiles.d` and the secrets in `<configDir>/secrets.d`.
///
/// Only root-owned regular files not writable by group or others, of at
/// most 1 MiB, are read; secrets files must also be unreadable by group and
/// others. The directories themselves must be root-owned and not writable
/// by group or others, else nothing in them is used. Hidden files and
/// editor or package-manager leftovers (".*", "*~", "*.dpkg-*") are skipped
/// without a verdict. A missing directory gives no verdict and no profiles.
///
/// A file is a Torvane profile (the JSON of a profile record, with "id",
/// plus the optional keys "alwaysOn", "lockdown", "userMayDisconnect"), a
/// .sswan (which may carry the same optional keys) or a configuration
/// profile, told apart by content. The first file giving a UUID wins.
/// A PKCS#12 bundle in a .sswan takes its password from the
/// "pkcs12Password" key of secrets.d/<UUID>.json; a configuration profile's
/// bundle needs it in its payload.
///
/// Never throws; bad input becomes a verdict and touches nothing else.
ManagedDirectory readManagedDirectory(const std::string& configDir);

} // namespace torvane

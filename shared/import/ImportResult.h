#pragma once

#include "shared/VPNProfile.h"
#include "shared/VPNSecrets.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace torvane {

/// Profile files are a few kilobytes; anything larger is refused before a
/// single byte is parsed.
inline constexpr std::size_t kMaxImportFileSize = 1024 * 1024;

/// What became of one field of an imported file. `value` is what the file
/// held, with secrets replaced by a mask; a field that was not carried over
/// says why in a sentence for the user.
struct ImportReportLine {
    /// The field's path in the file, e.g. "remote.addr" or "IKEv2.RemoteAddress".
    std::string field;
    std::string value;
    bool carried = false;
    /// The profile field(s) it went to, when carried.
    std::string target;
    /// Why it was not carried over.
    std::string reason;

    friend bool operator==(const ImportReportLine&, const ImportReportLine&) = default;
};

/// Shown in place of a secret in the report.
inline constexpr const char* kMaskedValue = "••••••••";

/// Who signed the file and whether the system trusts them. A signature is
/// shown to the user, never a reason to import without asking.
struct ImportSignature {
    enum class State { notSigned, trusted, notTrusted };
    State state = State::notSigned;
    /// The signer certificate's subject, one line.
    std::string signer;

    /// "signed by …, trusted", "signed by …, not trusted" or "not signed".
    std::string text() const;
};

/// One profile made from the file, with its secrets and its own report.
struct ImportedProfile {
    VPNProfile profile;
    VPNSecrets secrets;
    std::vector<ImportReportLine> report;
};

/// A file that could be imported: one or more profiles, the signature and
/// the lines about the file itself (its description, payloads that are not
/// VPN settings, a VPN payload that could not be used).
struct ImportResult {
    std::vector<ImportedProfile> profiles;
    ImportSignature signature;
    std::vector<ImportReportLine> fileReport;
};

/// Why a file was refused, in one sentence for the user. Never quotes a
/// secret.
struct ImportError {
    std::string message;
};

/// Asks for the password of a PKCS#12 bundle. `what` names the bundle for
/// the user; `again` is true after a wrong password. Nothing means the user
/// cancelled.
using ImportPasswordPrompt =
    std::function<std::optional<std::string>(const std::string& what, bool again)>;

struct ImportOptions {
    ImportPasswordPrompt askPassword;
    /// Trust anchors for signed files; empty means OpenSSL's default
    /// locations, which are the system's trust store.
    std::string trustFile;
    std::string trustDir;
};

} // namespace torvane

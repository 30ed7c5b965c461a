#pragma once

#include "shared/VPNProfile.h"
#include "shared/VPNSecrets.h"

#include <optional>
#include <string>
#include <string_view>

namespace torvane {

/// How profile and secret values are carried into swanctl.conf.
///
/// strongSwan's settings parser reads a double-quoted value with these
/// escapes: \" and \\ give the character itself, \n, \r and \t give the
/// control character, a backslash before a line break joins the lines, and
/// a backslash before anything else is dropped. An unquoted value runs to
/// the end of the line but stops early at '#' (a comment) or '}' (closing
/// the section), and a '"' inside it starts a quoted string that may run
/// over several lines. A value could so smuggle in settings of its own,
/// such as an updown script that charon runs as root. Quoted values are
/// therefore escaped, and values the file carries unquoted are refused when
/// they hold anything that would end or extend them.

/// The text to put between two double quotes so that strongSwan reads back
/// exactly `value`: every '"' and '\' gets a backslash. Control characters
/// are left alone; `swanctlValueProblem` refuses them before rendering.
std::string quotedValueText(std::string_view value);

/// The text to put between the double quotes of a `secret` line. swanctl
/// decodes a secret that starts with "0x" as hex and one that starts with
/// "0s" as Base64, so such a password or key is written as "0x" + its
/// bytes in hex, which swanctl decodes back to the same bytes. Any other
/// secret is escaped as `quotedValueText` does.
std::string secretValueText(std::string_view secret);

/// Why the profile and secrets cannot be written to swanctl.conf safely,
/// or nothing when they can. Only the values the profile's method writes are
/// looked at. Control characters are refused in every value (charon refuses
/// them in identities anyway); values written without quotes (the remote
/// address, proposals, rekey and life times, remote traffic selector and the
/// XAuth/EAP user names) are also refused when they hold '#', '{', '}' or
/// '"'. The message is meant for the user: it names the field and the kind
/// of character, and never repeats a secret. Run it before writing any file.
std::optional<std::string> swanctlValueProblem(const VPNProfile& profile,
                                               const VPNSecrets& secrets);

} // namespace torvane

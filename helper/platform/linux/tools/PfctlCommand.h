#pragma once

#include "Expected.h"

#include <string>
#include <vector>

namespace torvane::tools {

enum class PfctlAction {
    load,    ///< -a ANCHOR -f FILE
    enable,  ///< -E
    flush,   ///< -a ANCHOR -F all
    release, ///< -X TOKEN
};

/// One pfctl command line the daemon issues; no other is accepted.
struct PfctlCommand {
    PfctlAction action = PfctlAction::enable;
    std::string anchor;
    std::string file;
    std::string token;
};

/// Parses the arguments after the program name. The error says what is
/// wrong; usage text is pfctlUsage().
Expected<PfctlCommand, std::string> parsePfctlArguments(const std::vector<std::string>& args);

/// True for a token as "-E" hands them out: 1 to 20 decimal digits.
bool isPfctlToken(const std::string& token);

std::string pfctlUsage();

} // namespace torvane::tools

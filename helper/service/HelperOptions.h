#pragma once

#include "shared/Expected.h"

#include <string>
#include <vector>

namespace torvane {

/// How the daemon is set up; everything else is fixed in code.
struct HelperOptions {
    /// Where to listen when systemd did not pass a socket in.
    std::string socketPath = "/run/torvane/helper.sock";
    /// The client programs allowed to connect: the installed torvane and
    /// torvanectl, plus each --trust-client.
    std::vector<std::string> trustedClients = defaultTrustedClients();
    /// Holds profiles.d and secrets.d, the administrator's managed profiles.
    std::string configDir = "/etc/torvane";

    static std::vector<std::string> defaultTrustedClients();
};

/// The daemon's command line, parsed.
struct HelperCommandLine {
    HelperOptions options;
    /// --help was given: print helperUsage() and exit 0.
    bool showHelp = false;
};

/// Parses the arguments after the program name: "--socket PATH",
/// "--trust-client PATH" (repeatable; each adds to the trusted programs),
/// "--config-dir DIR" and "--help"; "--socket=PATH" and the like work too. The error
/// text names the offending argument.
Expected<HelperCommandLine, std::string>
parseHelperCommandLine(const std::vector<std::string>& arguments);
Expected<HelperCommandLine, std::string> parseHelperCommandLine(int argc, const char* const* argv);

/// Usage text for --help, ending in a newline.
std::string helperUsage();

} // namespace torvane

#include "helper/service/HelperOptions.h"

#include "helper/service/generated/HelperBuildInfo.h"

namespace torvane {

std::vector<std::string> HelperOptions::defaultTrustedClients() {
    return {std::string(kInstalledAppPath), std::string(kInstalledCtlPath)};
}

Expected<HelperCommandLine, std::string>
parseHelperCommandLine(const std::vector<std::string>& arguments) {
    HelperCommandLine result;
    bool socketGiven = false;
    bool configDirGiven = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string name = arguments[i];
        std::string value;
        bool hasValue = false;
        if (const auto equals = name.find('='); name.rfind("--", 0) == 0 && equals != name.npos) {
            value = name.substr(equals + 1);
            name.resize(equals);
            hasValue = true;
        }
        if (name == "--help" && !hasValue) {
            result.showHelp = true;
            continue;
        }
        if (name != "--socket" && name != "--trust-client" && name != "--config-dir") {
            return Unexpected{"unknown argument: " + arguments[i]};
        }
        if (!hasValue) {
            if (i + 1 >= arguments.size()) {
                return Unexpected{name + " needs a path"};
            }
            value = arguments[++i];
        }
        if (value.empty()) {
            return Unexpected{name + " needs a path"};
        }
        if (name == "--socket") {
            if (socketGiven) {
                return Unexpected{std::string("--socket given more than once")};
            }
            socketGiven = true;
            result.options.socketPath = value;
        } else if (name == "--config-dir") {
            if (configDirGiven) {
                return Unexpected{std::string("--config-dir given more than once")};
            }
            configDirGiven = true;
            result.options.configDir = value;
        } else {
            result.options.trustedClients.push_back(value);
        }
    }
    return result;
}

Expected<HelperCommandLine, std::string> parseHelperCommandLine(int argc, const char* const* argv) {
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) {
        arguments.emplace_back(argv[i]);
    }
    return parseHelperCommandLine(arguments);
}

std::string helperUsage() {
    return "Usage: torvane-helper [--socket PATH] [--trust-client PATH]... [--config-dir DIR]\n"
           "\n"
           "The Torvane VPN daemon. Runs as root; started by systemd through\n"
           "torvane-helper.socket, or by hand.\n"
           "\n"
           "  --socket PATH        listen on PATH when systemd passes no socket\n"
           "                       (default /run/torvane/helper.sock)\n"
           "  --trust-client PATH  also accept connections from the program PATH\n"
           "                       (root-owned, not writable by group or others);\n"
           "                       may be repeated\n"
           "  --config-dir DIR     read managed profiles from DIR/profiles.d and their\n"
           "                       secrets from DIR/secrets.d (default /etc/torvane);\n"
           "                       read again on SIGHUP\n"
           "  --help               show this text\n";
}

} // namespace torvane

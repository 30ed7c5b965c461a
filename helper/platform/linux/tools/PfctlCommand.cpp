#include "PfctlCommand.h"

namespace torvane::tools {

namespace {

constexpr std::size_t kMaxTokenDigits = 20;

} // namespace

bool isPfctlToken(const std::string& token) {
    if (token.empty() || token.size() > kMaxTokenDigits) {
        return false;
    }
    for (char c : token) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    return true;
}

Expected<PfctlCommand, std::string> parsePfctlArguments(const std::vector<std::string>& args) {
    PfctlCommand command;
    if (args.size() == 1 && args[0] == "-E") {
        command.action = PfctlAction::enable;
        return command;
    }
    if (args.size() == 2 && args[0] == "-X") {
        if (!isPfctlToken(args[1])) {
            return Unexpected{"bad token: " + args[1]};
        }
        command.action = PfctlAction::release;
        command.token = args[1];
        return command;
    }
    if (args.size() == 4 && args[0] == "-a") {
        if (args[1].empty()) {
            return Unexpected{std::string("empty anchor name")};
        }
        command.anchor = args[1];
        if (args[2] == "-f" && !args[3].empty()) {
            command.action = PfctlAction::load;
            command.file = args[3];
            return command;
        }
        if (args[2] == "-F" && args[3] == "all") {
            command.action = PfctlAction::flush;
            return command;
        }
    }
    return Unexpected{std::string("unsupported arguments")};
}

std::string pfctlUsage() {
    return "usage: pfctl -a ANCHOR -f FILE\n"
           "       pfctl -a ANCHOR -F all\n"
           "       pfctl -E\n"
           "       pfctl -X TOKEN\n";
}

} // namespace torvane::tools

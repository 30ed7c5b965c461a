#include "NetstatCommand.h"

namespace torvane::tools {

Expected<NetstatCommand, std::string> parseNetstatArguments(const std::vector<std::string>& args) {
    using Failure = Unexpected<std::string>;
    bool routingTable = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& argument = args[i];
        if (argument.size() < 2 || argument[0] != '-') {
            return Failure{"unexpected argument " + argument};
        }
        for (std::size_t j = 1; j < argument.size(); ++j) {
            const char option = argument[j];
            if (option == 'r') {
                routingTable = true;
            } else if (option == 'n') {
                // Always numeric.
            } else if (option == 'f') {
                std::string family = argument.substr(j + 1);
                if (family.empty()) {
                    if (++i == args.size()) {
                        return Failure{"-f needs an address family"};
                    }
                    family = args[i];
                }
                if (family != "inet") {
                    return Failure{"address family " + family + " is not supported"};
                }
                break;
            } else {
                return Failure{std::string("unknown option -") + option};
            }
        }
    }
    if (!routingTable) {
        return Failure{"only the routing table (-r) is supported"};
    }
    return NetstatCommand{};
}

const char* netstatUsage() {
    return "usage: netstat -r [-n] [-f inet]\n";
}

} // namespace torvane::tools

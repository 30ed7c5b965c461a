#include "RouteCommand.h"

#include <net/if.h>

namespace torvane::tools {

namespace {

using Failure = Unexpected<std::string>;

/// A value in an argument position: present and not an option.
bool isOperand(const std::string& argument) {
    return !argument.empty() && argument[0] != '-';
}

bool isValidInterfaceName(const std::string& name) {
    if (name.empty() || name.size() >= IFNAMSIZ || name == "." || name == "..") {
        return false;
    }
    for (const char c : name) {
        if (c == '/' || c == ':' || static_cast<unsigned char>(c) <= ' ' || c == 0x7f) {
            return false;
        }
    }
    return true;
}

} // namespace

Expected<RouteCommand, std::string> parseRouteArguments(const std::vector<std::string>& args) {
    RouteCommand command;
    std::size_t next = 0;
    for (; next < args.size() && !args[next].empty() && args[next][0] == '-'; ++next) {
        if (args[next] == "-q") {
            command.quiet = true;
        } else if (args[next] != "-n") {
            return Failure{"unknown option " + args[next]};
        }
    }
    if (next == args.size()) {
        return Failure{"missing command"};
    }
    const std::string& verb = args[next++];
    if (verb == "add") {
        command.action = RouteAction::add;
    } else if (verb == "delete") {
        command.action = RouteAction::remove;
    } else if (verb == "get") {
        command.action = RouteAction::get;
    } else {
        return Failure{"unknown command " + verb};
    }
    const auto remaining = [&] {
        return args.size() - next;
    };

    if (command.action == RouteAction::get) {
        if (remaining() == 0) {
            return Failure{"get: missing destination"};
        }
        command.destination = args[next++];
        if (!isOperand(command.destination)) {
            return Failure{"get: bad destination " + command.destination};
        }
    } else {
        if (remaining() == 0) {
            return Failure{verb + ": missing -net or -host"};
        }
        const std::string& kind = args[next++];
        if (kind == "-net") {
            command.target = RouteTarget::network;
        } else if (kind == "-host") {
            command.target = RouteTarget::host;
        } else {
            return Failure{verb + ": expected -net or -host, not " + kind};
        }
        if (remaining() == 0) {
            return Failure{verb + ": missing destination"};
        }
        command.destination = args[next++];
        if (command.target == RouteTarget::network) {
            command.network = netlink::parseIpv4Prefix(command.destination);
            if (!command.network) {
                return Failure{"bad network address: " + command.destination};
            }
        } else if (!isOperand(command.destination) ||
                   command.destination.find('/') != std::string::npos) {
            return Failure{"bad host address: " + command.destination};
        }
        if (command.action == RouteAction::add) {
            if (remaining() == 0) {
                return Failure{"add: missing gateway or -interface"};
            }
            const std::string& via = args[next++];
            if (via == "-interface" || via == "-iface") {
                if (remaining() == 0) {
                    return Failure{"add: missing interface name"};
                }
                command.interfaceName = args[next++];
                if (!isValidInterfaceName(command.interfaceName)) {
                    return Failure{"bad interface name: " + command.interfaceName};
                }
            } else if (isOperand(via)) {
                command.gateway = via;
            } else {
                return Failure{"add: bad gateway " + via};
            }
        }
    }
    if (remaining() != 0) {
        return Failure{"unexpected argument " + args[next]};
    }
    return command;
}

const char* routeUsage() {
    return "usage: route [-n] [-q] add (-net NETWORK | -host HOST) (GATEWAY | -interface DEVICE)\n"
           "       route [-n] [-q] delete (-net NETWORK | -host HOST)\n"
           "       route [-n] get (ADDRESS | HOST | default)\n";
}

} // namespace torvane::tools

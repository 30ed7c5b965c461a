#include "CommandLine.h"

#include <array>
#include <charconv>
#include <utility>

namespace torvane::testclient {
namespace {

struct CommandSpec {
    Command command;
    const char* name;
    std::size_t minOperands;
    std::size_t maxOperands;
};

constexpr std::size_t kAny = static_cast<std::size_t>(-1);

constexpr std::array kCommands = {
    CommandSpec{Command::version, "version", 0, 0},
    CommandSpec{Command::status, "status", 0, 0},
    CommandSpec{Command::subscribe, "subscribe", 0, 0},
    CommandSpec{Command::start, "start", 2, 2},
    CommandSpec{Command::stop, "stop", 1, 1},
    CommandSpec{Command::stopAll, "stop-all", 0, 0},
    CommandSpec{Command::forceKill, "force-kill", 0, 0},
    CommandSpec{Command::priorities, "priorities", 0, kAny},
    CommandSpec{Command::terminate, "terminate", 0, 0},
    CommandSpec{Command::raw, "raw", 1, kAny},
    CommandSpec{Command::hold, "hold", 1, 1},
};

bool parseSeconds(const std::string& text, double& out) {
    double value = 0;
    const auto* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc{} || ptr != end || !(value >= 0) || value > 86400) {
        return false;
    }
    out = value;
    return true;
}

} // namespace

const char* commandName(Command command) {
    for (const auto& spec : kCommands) {
        if (spec.command == command) {
            return spec.name;
        }
    }
    return "?";
}

std::string usageText() {
    return "usage: torvane-testclient [--socket PATH] [--timeout SECONDS] COMMAND\n"
           "commands:\n"
           "  version | status | stop-all | force-kill | terminate\n"
           "  subscribe [--seconds N]\n"
           "  start PROFILE.json SECRETS.json\n"
           "  stop PROFILE-ID\n"
           "  priorities [PROFILE-ID...]\n"
           "  raw LINE...          send wire lines as they are, wait for one reply each\n"
           "  hold COUNT [--seconds N] [--silent]   open COUNT connections, ask each for the\n"
           "                       version (unless --silent), keep them N seconds\n";
}

Expected<Options, std::string> parseCommandLine(const std::vector<std::string>& arguments) {
    Options options;
    const CommandSpec* spec = nullptr;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& arg = arguments[i];
        const bool isOption = arg.size() > 2 && arg.starts_with("--") && spec == nullptr;
        const bool isCommandOption =
            spec != nullptr && ((spec->command == Command::subscribe && arg == "--seconds") ||
                                (spec->command == Command::hold && arg == "--seconds"));
        if (spec != nullptr && spec->command == Command::hold && arg == "--silent") {
            options.silent = true;
            continue;
        }
        if (isOption || isCommandOption) {
            if (i + 1 >= arguments.size()) {
                return Unexpected{arg + " needs a value"};
            }
            const std::string& value = arguments[++i];
            if (arg == "--socket") {
                options.socketPath = value;
            } else if (arg == "--timeout") {
                if (!parseSeconds(value, options.timeoutSeconds)) {
                    return Unexpected{"--timeout needs a number of seconds, not '" + value + "'"};
                }
            } else if (arg == "--seconds") {
                if (!parseSeconds(value, options.listenSeconds)) {
                    return Unexpected{"--seconds needs a number of seconds, not '" + value + "'"};
                }
            } else {
                return Unexpected{"unknown option " + arg};
            }
            continue;
        }
        if (spec == nullptr) {
            for (const auto& candidate : kCommands) {
                if (arg == candidate.name) {
                    spec = &candidate;
                }
            }
            if (spec == nullptr) {
                return Unexpected{"unknown command '" + arg + "'"};
            }
            options.command = spec->command;
            continue;
        }
        options.operands.push_back(arg);
    }
    if (spec == nullptr) {
        return Unexpected{std::string("no command given")};
    }
    if (options.operands.size() < spec->minOperands ||
        (spec->maxOperands != kAny && options.operands.size() > spec->maxOperands)) {
        return Unexpected{std::string("wrong number of operands for ") + spec->name};
    }
    return options;
}

} // namespace torvane::testclient

#pragma once

#include "shared/Expected.h"

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace torvane::cli {

/// One invocation of torvanectl, split into its subcommand, positional
/// arguments, options with values and flags.
struct Invocation {
    std::string command;
    std::vector<std::string> arguments;
    std::map<std::string, std::string> values;
    std::set<std::string> flags;
    /// --help or -h was given: print the usage of `command` (or the general
    /// usage when there is none) and do nothing else.
    bool help = false;

    std::optional<std::string> value(const std::string& option) const;
    bool flag(const std::string& option) const { return flags.count(option) != 0; }
};

/// Checks the arguments (without the program name) against the subcommand's
/// options and argument count. The error is one sentence for the user.
Expected<Invocation, std::string> parseCommandLine(const std::vector<std::string>& arguments);

/// The general usage text, listing every subcommand.
std::string usageText();
/// The usage of one subcommand; the general usage for an unknown one.
std::string commandUsage(const std::string& command);

} // namespace torvane::cli

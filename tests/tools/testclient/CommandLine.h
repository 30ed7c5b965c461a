#pragma once

#include "Expected.h"

#include <string>
#include <vector>

namespace torvane::testclient {

enum class Command {
    version,
    status,
    subscribe,
    start,
    stop,
    stopAll,
    forceKill,
    priorities,
    terminate,
    raw,
    hold,
};

struct Options {
    std::string socketPath = "/run/torvane/helper.sock";
    Command command = Command::version;
    /// The command's operands: file names for start, the
    /// profile id for stop, ids for priorities, wire lines for raw, the
    /// number of connections for hold.
    std::vector<std::string> operands;
    /// How long to wait for a reply.
    double timeoutSeconds = 60;
    /// subscribe: how long to keep printing callbacks after the reply; hold:
    /// how long to keep the connections.
    double listenSeconds = 2;
    /// hold: send nothing on the connections.
    bool silent = false;
};

/// Reads the arguments after the program name. The error is a one-line
/// message for stderr.
Expected<Options, std::string> parseCommandLine(const std::vector<std::string>& arguments);

std::string usageText();

/// The command's name as typed, e.g. "stop-all".
const char* commandName(Command command);

} // namespace torvane::testclient

#pragma once

#include <string>

namespace torvane::protocol {

/// Why a line on the command channel could not be read or written. The
/// channel's rule for a bad line is to close that one connection.
struct ProtocolError {
    std::string message;
};

} // namespace torvane::protocol

#pragma once

#include "CommandLine.h"
#include "ServerMessage.h"

#include <string>
#include <string_view>

namespace torvane::testclient {

// Every message becomes exactly one output line, so scripts can grep them:
//   reply start 0 Connected (10.99.0.1)
//   status {"tunnels":[...]}
//   callback statusChanged {"tunnels":[...]}
//   callback logLine <text>
//   reply raw [0,"Disconnected"]

/// `text` with line breaks written as \n and \r, so it stays on one line.
std::string oneLine(std::string_view text);

std::string formatReply(Command command, const protocol::Reply& reply);
std::string formatCallback(const protocol::Callback& callback);
/// A reply to a raw line: its values as a JSON array.
std::string formatRawReply(const protocol::ReplyMessage& message);

} // namespace torvane::testclient

#pragma once

namespace torvane::testclient {

/// Exit statuses of torvane-testclient, so scripts can tell failures apart.
enum ExitCode : int {
    exitOk = 0,
    /// Bad command line or unreadable input file.
    exitUsage = 1,
    /// The socket could not be reached.
    exitConnectFailed = 2,
    /// The helper sent something that is not a valid message, or a reply that
    /// does not belong to a request of ours.
    exitProtocolError = 3,
    /// The helper closed the connection ("closed" is printed).
    exitClosed = 4,
    /// No reply within the time limit.
    exitTimedOut = 5,
    /// The helper refused the request with an error reply (printed as
    /// "reply COMMAND error MESSAGE").
    exitRefused = 7,
};

} // namespace torvane::testclient

#pragma once

#include "shared/protocol/LineFramer.h"

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace torvane::testclient {

/// One client connection to the helper's Unix stream socket, line by line.
/// Blocking, single-threaded; every wait has a deadline.
class HelperConnection {
public:
    using Clock = std::chrono::steady_clock;

    struct Event {
        enum class Kind {
            /// `text` holds one complete line without its "\n".
            line,
            /// The helper closed the connection (or reset it).
            closed,
            timedOut,
            /// A line longer than the protocol allows, or a socket error;
            /// `text` says which.
            failed,
        };
        Kind kind;
        std::string text;
    };

    HelperConnection() = default;
    ~HelperConnection();
    HelperConnection(const HelperConnection&) = delete;
    HelperConnection& operator=(const HelperConnection&) = delete;

    /// Connects to `path`; the error text on failure.
    std::optional<std::string> connect(const std::string& path);

    /// Sends all of `bytes`. Returns false when the helper has closed the
    /// connection or the socket failed (`lastError()` says why).
    bool send(std::string_view bytes);

    /// The next line, or what ended the wait. Lines already received are
    /// returned before a close is reported.
    Event next(Clock::time_point deadline);

    const std::string& lastError() const { return m_lastError; }
    /// For waiting on several connections at once.
    int fd() const { return m_fd; }

private:
    int m_fd = -1;
    bool m_eof = false;
    protocol::LineFramer m_framer;
    std::string m_lastError;
};

} // namespace torvane::testclient

#pragma once

#include "shared/protocol/LineFramer.h"
#include "shared/protocol/Request.h"
#include "shared/protocol/ServerMessage.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace torvane {

/// One connection to the helper daemon's socket. Requests are matched to
/// their replies by id; a reader thread of the connection's own reads the
/// daemon's lines and calls every handler.
///
/// Like the connection it stands in for, it is usable at once and fails
/// later: a socket that cannot be reached, a closed socket, a malformed or
/// mismatched line all *invalidate* the connection. Then `onInvalidated`
/// runs once, every call still waiting gets its error handler called with
/// the reason, and every later call fails at once with the same reason.
class HelperConnection : public std::enable_shared_from_this<HelperConnection> {
public:
    using ReplyHandler = std::function<void(const protocol::Reply&)>;
    using ErrorHandler = std::function<void(const std::string& description)>;

    struct Handlers {
        /// A callback pushed by the daemon ("statusChanged:", "logLine:").
        std::function<void(const protocol::Callback&)> onCallback;
        /// The connection has been invalidated; runs on the reader thread.
        std::function<void(HelperConnection&)> onInvalidated;
    };

    /// Connects to `socketPath` and starts reading.
    static std::shared_ptr<HelperConnection> open(const std::string& socketPath, Handlers handlers);

    ~HelperConnection();
    HelperConnection(const HelperConnection&) = delete;
    HelperConnection& operator=(const HelperConnection&) = delete;

    /// Sends `request` (its id is assigned here). Exactly one of the handlers
    /// is called, on the reader thread or, for a connection already
    /// invalidated, right here. There is no time limit.
    void call(protocol::Request request, ReplyHandler onReply, ErrorHandler onError);

    /// No new calls are expected: close once every waiting call has been
    /// answered, so that no late reply is lost.
    void retire();
    /// Closes now; waiting calls fail.
    void invalidate();
    /// Waits until the reader has stopped calling handlers. Never call it
    /// from a handler.
    void waitUntilClosed();

private:
    struct PendingCall {
        protocol::HelperCall call = protocol::HelperCall::getVersion;
        ReplyHandler onReply;
        ErrorHandler onError;
    };

    HelperConnection(int fd, std::string connectError, Handlers handlers);
    void readLoop();
    /// Handles one line; the reason to invalidate when it is not acceptable.
    std::optional<std::string> handleLine(const std::string& line);
    void finish(const std::string& reason);
    void shutdownSocket();
    void closeIfIdleAndRetired();

    int m_fd;
    std::string m_connectError;
    Handlers m_handlers;
    protocol::LineFramer m_framer;

    std::mutex m_mutex;
    std::map<std::int64_t, PendingCall> m_pending;
    std::int64_t m_lastId = 0;
    bool m_closed = false;
    bool m_closing = false;
    bool m_retired = false;
    std::string m_closeReason;

    std::mutex m_writeMutex;
    std::thread m_reader;
};

} // namespace torvane

#pragma once

#include <string>

namespace torvane {

/// One client connection as the command service sees it: a place to send
/// wire lines to. Implemented over a Unix socket by ClientConnection; tests
/// and the fuzzer put their own in its place.
class ClientChannel {
public:
    virtual ~ClientChannel() = default;

    /// Queues one complete wire line ("\n" included) for the client. Never
    /// blocks and may be called from any thread (the engine's replies and
    /// callbacks arrive on the engine's own thread). Lines sent on one
    /// channel arrive in the order they were queued. After close, or once
    /// the client has fallen too far behind, lines are dropped.
    virtual void send(std::string line) = 0;

    /// Closes the connection without sending anything more. May be called
    /// from any thread, more than once.
    virtual void close() = 0;

    /// Closes the connection once every line queued so far has been
    /// written; lines queued after this call are dropped. May be called from
    /// any thread.
    virtual void closeAfterSending() { close(); }

    /// A first complete request has arrived: the connection is in use and no
    /// longer closed for idling. Main loop only.
    virtual void markInUse() {}

    /// Reading was paused because the client had too many requests waiting
    /// for their replies; enough have been answered to go on. Lines already
    /// received come first. May be called from any thread.
    virtual void resumeReading() {}
};

} // namespace torvane

#pragma once

#include "helper/service/ClientChannel.h"
#include "shared/protocol/LineFramer.h"

#include <array>
#include <chrono>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <string>

#include <asio/local/stream_protocol.hpp>
#include <asio/steady_timer.hpp>

namespace torvane {

class CommandService;

/// One accepted client on the command socket. Reads on the daemon's main
/// loop and hands the bytes to the CommandService; writes asynchronously from a
/// bounded queue, so a client that reads slowly, or not at all, never holds
/// up the thread that sends to it. A client that lets more than
/// `maxQueuedBytes` pile up is disconnected.
///
/// A connection that has not sent a complete request within
/// `firstRequestLimit` is closed; once it has, it may idle for as long as it
/// likes (the tray app stays subscribed for days). Reading stops while the
/// CommandService has paused it and goes on, buffered lines first, when resumed.
///
/// A client that ends its requests (half-closes its socket) or sends a line
/// that cannot be served still gets the replies to every request it sent
/// before; the connection closes once they are written. One that hangs up
/// entirely is closed at once: there is nobody left to answer.
///
/// Once closed, the connection removes itself from the CommandService; it is freed
/// when the last pending operation and the last engine reply holding it
/// are done.
class ClientConnection final : public ClientChannel,
                               public std::enable_shared_from_this<ClientConnection> {
public:
    ClientConnection(asio::local::stream_protocol::socket socket,
                     std::weak_ptr<CommandService> helper, std::size_t maxQueuedBytes,
                     std::chrono::milliseconds firstRequestLimit);

    /// Begins reading. Main loop only.
    void start();

    void send(std::string line) override;
    void close() override;
    void closeAfterSending() override;
    void markInUse() override;
    void resumeReading() override;

private:
    void readNext();
    /// Hands received bytes (none: only what the framer holds) to the CommandService
    /// and reads on, waits or closes as it says.
    void handleReceived(std::string_view bytes);
    /// While reading is paused, a client that hangs up must still be seen
    /// at once: its calls waiting for authorization must not run.
    void watchForHangUp();
    /// The client sent its last request: stop reading and let the CommandService
    /// close once every request read so far has been answered.
    void finishRequests();
    /// True when the peer has closed both directions, not only its sending
    /// side.
    bool peerHungUp();
    void writeNext();
    /// Main loop only.
    void closeNow();

    asio::local::stream_protocol::socket m_socket;
    std::weak_ptr<CommandService> m_helper;
    protocol::LineFramer m_framer;
    std::array<char, 16 * 1024> m_readBuffer{};

    // Shared between the main loop and the threads that send.
    std::mutex m_queueLock;
    std::deque<std::string> m_queue;
    /// Queued plus in-flight bytes.
    std::size_t m_queuedBytes = 0;
    std::size_t m_maxQueuedBytes;
    /// A write is in progress or posted.
    bool m_writing = false;
    /// Close as soon as the queue has been written.
    bool m_closeWhenWritten = false;
    /// Lines are still taken; false from the moment a close is decided.
    bool m_open = true;

    // Main loop only.
    std::string m_inFlight;
    bool m_closed = false;
    bool m_inUse = false;
    bool m_watchingHangUp = false;
    /// The client has shut down its sending side.
    bool m_endOfRequests = false;
    asio::steady_timer m_idleTimer;
    std::chrono::milliseconds m_firstRequestLimit;
};

} // namespace torvane

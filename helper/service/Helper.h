#pragma once

#include "ClientChannel.h"
#include "HelperBuildInfo.h"
#include "LineFramer.h"
#include "PeerTrust.h"
#include "Request.h"
#include "ServerMessage.h"
#include "TunnelEngine.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include <asio/local/stream_protocol.hpp>

namespace torvane {

/// The daemon's command service. It admits trusted clients, reads their
/// requests, hands each command to the tunnel engine and writes the replies
/// back, and forwards the engine's status snapshots and log lines to the one
/// client that subscribed last.
///
/// Threads: requests are read and dispatched on the daemon's main loop; the
/// engine replies and calls back from its own thread. `connections` and
/// `subscriber` are only touched under `connectionsLock`, which is never
/// held while calling the engine or a channel, so neither side can block
/// the other. Create with `create()`: the engine's callbacks hold the Helper
/// weakly and do nothing once it is gone.
class Helper : public std::enable_shared_from_this<Helper> {
public:
    /// Bytes a connection may have waiting to be written before the client
    /// is taken to have stopped reading and is disconnected. Room for several
    /// maximal lines, so a client that merely lags never loses one.
    static constexpr std::size_t kDefaultMaxQueuedBytes = 8 * 1024 * 1024;

    struct Settings {
        /// The client programs allowed to connect.
        std::vector<std::string> trustedClients;
        /// What getVersionWithReply: answers.
        std::string version = std::string(kHelperVersion.empty() ? "0" : kHelperVersion);
        std::size_t maxQueuedBytes = kDefaultMaxQueuedBytes;
        /// Runs on the main loop right after the reply to terminateWithReply:
        /// has been queued; the daemon arranges its own SIGTERM here.
        std::function<void()> onTerminate;
    };

    static std::shared_ptr<Helper> create(TunnelEngine& engine, Settings settings);

    Helper(const Helper&) = delete;
    Helper& operator=(const Helper&) = delete;

    /// Takes a newly accepted socket: a trusted peer becomes a connection
    /// and starts being read; anyone else is logged and disconnected.
    /// Main loop only.
    void accept(asio::local::stream_protocol::socket socket);

    void addConnection(std::shared_ptr<ClientChannel> connection);
    /// Forgets `connection`; when it was the subscriber, callbacks stop until
    /// another connection subscribes.
    void removeConnection(const ClientChannel& connection);

    /// Feeds bytes received on `client` through its framer and dispatches
    /// every complete request. Returns false when the connection must be
    /// closed: a malformed or oversized line, an unknown selector or a
    /// missing argument. Nothing is replied to such a line. Main loop only.
    bool receive(const std::shared_ptr<ClientChannel>& client, protocol::LineFramer& framer,
                 std::string_view bytes);

    /// The current subscriber, if any.
    std::shared_ptr<ClientChannel> subscriberClient() const;

    std::size_t connectionCount() const;

    /// Forgets every connection and closes each (daemon shutdown).
    void closeAllConnections();

private:
    Helper(TunnelEngine& engine, Settings settings);

    void dispatch(const std::shared_ptr<ClientChannel>& client, protocol::Request request);
    void subscribe(const std::shared_ptr<ClientChannel>& client, std::int64_t id);
    void start(const std::shared_ptr<ClientChannel>& client, const protocol::Request& request);
    void notifySubscriber(const protocol::Callback& callback);
    /// A reply function for the engine that writes to `client` if it is
    /// still connected by the time the engine answers.
    CommandReply commandReplyTo(const std::shared_ptr<ClientChannel>& client, std::int64_t id);

    TunnelEngine& m_engine;
    Settings m_settings;
    PeerTrust m_trust;

    std::vector<std::shared_ptr<ClientChannel>> m_connections;
    std::shared_ptr<ClientChannel> m_subscriber;
    mutable std::mutex m_connectionsLock;
};

/// The reply as a wire line. Never fails: a command message too long for the
/// line limit is shortened, and a status too large is sent as an empty
/// buffer, as when the snapshot cannot be encoded.
std::string replyLine(std::int64_t id, const protocol::Reply& reply);

/// The callback as a wire line; empty when it cannot be sent (a snapshot
/// beyond the line limit). Over-long log lines are shortened.
std::string callbackLine(const protocol::Callback& callback);

} // namespace torvane

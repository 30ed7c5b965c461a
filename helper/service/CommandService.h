#pragma once

#include "helper/engine/TunnelEngine.h"
#include "helper/platform/linux/PeerTrust.h"
#include "helper/service/Authorizer.h"
#include "helper/service/ClientChannel.h"
#include "helper/service/ThrottledLog.h"
#include "helper/service/generated/HelperBuildInfo.h"
#include "shared/protocol/LineFramer.h"
#include "shared/protocol/Request.h"
#include "shared/protocol/ServerMessage.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <asio/local/stream_protocol.hpp>

namespace torvane {

/// The daemon's command service. It admits trusted clients, reads their
/// requests, hands each command to the tunnel engine and writes the replies
/// back, and forwards the engine's status snapshots and log lines to every
/// client that subscribed and is still connected (the tray app and a
/// `torvanectl status --watch` beside it both stay live).
///
/// Every call that changes the machine, and subscribing (which streams the
/// log), is carried out only once the client's user has been authorized for
/// it (root always is); a refusal is answered with an error reply and
/// nothing is done. Authorizations run asynchronously: one connection's
/// gated calls are authorized and carried out strictly in the order they
/// arrived, while other connections, version and status requests go on.
///
/// Threads: requests are read, authorized and dispatched on the daemon's
/// main loop; the engine replies and calls back from its own thread.
/// `connections` and `subscribers` are only touched under `connectionsLock`,
/// which is never held while calling the engine, the authorizer or a
/// channel, so neither side can block the other. Create with `create()`: the
/// engine's callbacks and pending authorizations hold the CommandService weakly and
/// do nothing once it is gone.
class CommandService : public std::enable_shared_from_this<CommandService> {
public:
    /// Bytes a connection may have waiting to be written before the client
    /// is taken to have stopped reading and is disconnected. Room for several
    /// maximal lines, so a client that merely lags never loses one.
    static constexpr std::size_t kDefaultMaxQueuedBytes = 8 * 1024 * 1024;
    /// Requests of one connection read but not yet answered (waiting for
    /// authorization or for the engine). At this many the service stops
    /// reading that connection until replies go out, so a client cannot pile
    /// work up in the daemon faster than it is done.
    static constexpr std::size_t kMaxUnansweredRequests = 16;
    /// Connections one user other than root may hold, and all users together.
    /// Root is never turned away: it is who cleans up after a flood.
    static constexpr std::size_t kMaxConnectionsPerUser = 32;
    static constexpr std::size_t kMaxConnections = 256;
    /// A connection that has not sent a complete request by then is closed.
    static constexpr std::chrono::seconds kDefaultFirstRequestLimit{10};

    struct Settings {
        /// The client programs allowed to connect.
        std::vector<std::string> trustedClients;
        /// What getVersionWithReply: answers.
        std::string version = std::string(kHelperVersion.empty() ? "0" : kHelperVersion);
        std::size_t maxQueuedBytes = kDefaultMaxQueuedBytes;
        std::chrono::milliseconds firstRequestLimit = kDefaultFirstRequestLimit;
        /// Decides the gated calls of users other than root. Without one,
        /// only root may make them.
        std::shared_ptr<Authorizer> authorizer;
        /// Runs on the main loop when a client asks the daemon to exit. It
        /// arranges the daemon's own SIGTERM and returns nothing, or declines
        /// with the reason the client is told (the daemon keeps a profile up
        /// for the administrator).
        std::function<std::optional<std::string>()> onTerminate;
        /// Runs on the main loop just before a command that may tear the VPN
        /// down (stop, stopAll, forceKillAll) goes to the engine, and, from
        /// any thread, once that command has been answered. The daemon frees
        /// its spare file descriptors for the teardown in between.
        std::function<void()> beforeTeardown;
        std::function<void()> afterTeardown;
        /// JSON of the managed profiles, read on the main loop; none: "[]".
        std::function<std::string()> managedProfiles;
        /// The name of the managed profile with this ID when the
        /// administrator keeps it connected (always-on, or users may not
        /// disconnect it), read on the main loop; none: an ordinary profile.
        std::function<std::optional<std::string>(std::string_view profileID)> keptConnected;
    };

    /// What the connection's reader does after `receive`.
    enum class ReadResult {
        more,
        /// Stop reading until the channel's resumeReading.
        paused,
        /// Read nothing more; call finishConnection.
        finish,
        close,
    };

    static std::shared_ptr<CommandService> create(TunnelEngine& engine, Settings settings);

    CommandService(const CommandService&) = delete;
    CommandService& operator=(const CommandService&) = delete;

    /// Takes a newly accepted socket: a trusted peer within the connection
    /// limits becomes a connection and starts being read; anyone else is
    /// logged and disconnected. `shortOfDescriptors`: the daemon is out of
    /// file descriptors, and serves only root until it has some again.
    /// Main loop only.
    void accept(asio::local::stream_protocol::socket socket, bool shortOfDescriptors = false);

    /// `peer` is who the connection belongs to; it decides what the
    /// connection's gated calls may do.
    void addConnection(std::shared_ptr<ClientChannel> connection, AuthorizationSubject peer);
    /// Forgets `connection`, and with it its subscription. A pending
    /// authorization of it is
    /// abandoned and its calls are never carried out. Main loop only.
    void removeConnection(const ClientChannel& connection);

    /// Feeds bytes received on `client` through its framer and dispatches
    /// the complete requests, as many as the connection may have waiting.
    /// Finishes the connection on a malformed or oversized line, an unknown
    /// selector or a missing argument; nothing is replied to such a line.
    /// Main loop only.
    ReadResult receive(const std::shared_ptr<ClientChannel>& client, protocol::LineFramer& framer,
                       std::string_view bytes);

    /// `connection` sends no more requests: it is no longer a subscriber,
    /// and it closes once every request it sent has been answered (at once
    /// when none is outstanding). Main loop only.
    void finishConnection(const ClientChannel& connection);

    /// How many connections receive the callbacks.
    std::size_t subscriberCount() const;

    std::size_t connectionCount() const;

    /// Forgets every connection and closes each once what was queued for it
    /// has been written (daemon shutdown: a start cut short by the stop
    /// still gets its reply).
    void closeAllConnections();

private:
    struct Connection;

    CommandService(TunnelEngine& engine, Settings settings);

    std::shared_ptr<Connection> findConnection(const ClientChannel& channel) const;
    /// Why a new connection from `uid` is turned away; empty when it is not.
    std::string limitRefusal(uid_t uid, bool shortOfDescriptors) const;
    void dispatch(const std::shared_ptr<Connection>& connection, protocol::Request request);
    /// Starts authorizing the connection's oldest waiting call, or carries
    /// out those root may make at once.
    void admitNext(const std::shared_ptr<Connection>& connection);
    void authorizationDone(const std::shared_ptr<Connection>& connection,
                           AuthorizationResult result);
    void perform(const std::shared_ptr<Connection>& connection, protocol::Request request);
    void refuse(const std::shared_ptr<Connection>& connection, const protocol::Request& request,
                const std::string& reason);
    /// The action a non-root peer needs for the call; none: open to all.
    std::optional<AuthorizedAction> actionFor(const protocol::Request& request) const;
    /// The profile a stop would take from the administrator's hands.
    std::optional<std::string> keptConnected(const protocol::Request& request) const;
    void subscribe(const std::shared_ptr<Connection>& connection, std::int64_t id);
    void start(const std::shared_ptr<Connection>& connection, const protocol::Request& request);
    void notifySubscribers(const protocol::Callback& callback);
    /// Drops `channel` from the subscribers. Caller holds connectionsLock.
    void unsubscribeLocked(const ClientChannel& channel);
    /// Tells the engine whether anyone follows the status now, when that
    /// changed. Caller does not hold connectionsLock.
    void tellEngineWhetherFollowed();
    /// A reply function for the engine that answers on `connection` if it is
    /// still there by the time the engine answers.
    CommandReply commandReplyTo(const std::shared_ptr<Connection>& connection, std::int64_t id,
                                bool mayTearDown);

    TunnelEngine& m_engine;
    Settings m_settings;
    PeerTrust m_trust;
    ThrottledLog m_refusalLog;

    std::vector<std::shared_ptr<Connection>> m_connections;
    std::vector<std::shared_ptr<ClientChannel>> m_subscribers;
    /// What the engine was last told by tellEngineWhetherFollowed.
    bool m_engineToldFollowed = false;
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

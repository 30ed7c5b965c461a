#include "helper/service/CommandService.h"

#include "helper/platform/linux/SystemLog.h"
#include "helper/service/ClientConnection.h"
#include "shared/VPNProfile.h"
#include "shared/VPNSecrets.h"

#include <algorithm>
#include <deque>
#include <optional>
#include <utility>

namespace torvane {
namespace {

// Long enough for any real message, short enough that even a message made
// entirely of characters JSON escapes as \uXXXX stays within the line limit.
constexpr std::size_t kShortenedTextBytes = 64 * 1024;

} // namespace

std::string replyLine(std::int64_t id, const protocol::Reply& reply) {
    if (auto line = protocol::encodeReply(id, reply)) {
        return std::move(*line);
    }
    protocol::Reply fallback = reply;
    if (auto* command = std::get_if<protocol::CommandReply>(&fallback)) {
        command->message.resize(std::min(command->message.size(), kShortenedTextBytes));
    } else if (auto* status = std::get_if<protocol::StatusReply>(&fallback)) {
        status->data.clear();
    } else if (auto* check = std::get_if<protocol::LeakCheckReply>(&fallback)) {
        check->data = "[]";
    } else if (auto* managed = std::get_if<protocol::ManagedProfilesReply>(&fallback)) {
        managed->data = "[]";
    } else if (auto* error = std::get_if<protocol::ErrorReply>(&fallback)) {
        error->message.resize(std::min(error->message.size(), kShortenedTextBytes));
    } else if (auto* version = std::get_if<protocol::VersionReply>(&fallback)) {
        version->version.resize(std::min(version->version.size(), kShortenedTextBytes));
    }
    auto line = protocol::encodeReply(id, fallback);
    return line ? std::move(*line) : std::string();
}

std::string callbackLine(const protocol::Callback& callback) {
    if (auto line = protocol::encodeCallback(callback)) {
        return std::move(*line);
    }
    if (const auto* log = std::get_if<protocol::LogLine>(&callback)) {
        auto line =
            protocol::encodeCallback(protocol::LogLine{log->line.substr(0, kShortenedTextBytes)});
        return line ? std::move(*line) : std::string();
    }
    // A snapshot that does not fit is dropped; the next one may fit, and the
    // client can still ask with statusWithReply:.
    return {};
}

/// One accepted client as the service keeps it.
struct CommandService::Connection {
    Connection(std::shared_ptr<ClientChannel> client, AuthorizationSubject subject)
        : channel(std::move(client)), peer(subject) {}

    /// Sends the reply to one counted request and lets reading go on when
    /// it had been paused for too many unanswered ones. Any thread.
    void answer(std::string line) {
        channel->send(std::move(line));
        bool resume = false;
        bool lastOfFinished = false;
        {
            std::lock_guard lock(countLock);
            if (unanswered > 0) {
                --unanswered;
            }
            if (paused && unanswered < kMaxUnansweredRequests) {
                paused = false;
                resume = true;
            }
            lastOfFinished = finished && unanswered == 0;
        }
        if (lastOfFinished) {
            channel->closeAfterSending();
        } else if (resume) {
            channel->resumeReading();
        }
    }

    const std::shared_ptr<ClientChannel> channel;
    const AuthorizationSubject peer;

    // Main loop only.
    /// Gated calls not yet authorized, oldest first; the first is the one
    /// being checked while `checking` is set.
    std::deque<protocol::Request> waiting;
    std::optional<Authorizer::Ticket> checking;
    bool removed = false;

    // Any thread, under countLock.
    std::mutex countLock;
    std::size_t unanswered = 0;
    bool paused = false;
    /// No more requests come; close once `unanswered` is down to zero.
    bool finished = false;
};

namespace {

std::optional<AuthorizedAction> gatedAction(protocol::HelperCall call) {
    using protocol::HelperCall;
    switch (call) {
    case HelperCall::start:
    case HelperCall::stop:
    case HelperCall::stopAll:
    case HelperCall::setPriorities:
    case HelperCall::subscribe:
        return AuthorizedAction::connect;
    case HelperCall::terminate:
    case HelperCall::forceKillAll:
        return AuthorizedAction::manage;
    case HelperCall::getVersion:
    case HelperCall::status:
    case HelperCall::leakCheck:
    case HelperCall::managedProfiles:
        break;
    }
    return std::nullopt;
}

/// What the refused user tried to do, for the error reply.
std::string_view attempt(protocol::HelperCall call) {
    using protocol::HelperCall;
    switch (call) {
    case HelperCall::start:
        return "starting a VPN tunnel";
    case HelperCall::stop:
        return "stopping a VPN tunnel";
    case HelperCall::stopAll:
        return "stopping all VPN tunnels";
    case HelperCall::setPriorities:
        return "reordering VPN tunnels";
    case HelperCall::subscribe:
        return "following VPN status and log";
    case HelperCall::terminate:
        return "stopping the VPN helper";
    case HelperCall::forceKillAll:
        return "force-killing the VPN processes";
    case HelperCall::getVersion:
    case HelperCall::status:
    case HelperCall::leakCheck:
    case HelperCall::managedProfiles:
        break;
    }
    return "this";
}

} // namespace

std::shared_ptr<CommandService> CommandService::create(TunnelEngine& engine, Settings settings) {
    std::shared_ptr<CommandService> helper(new CommandService(engine, std::move(settings)));
    const std::weak_ptr<CommandService> weak = helper;
    engine.setOnStatus([weak](const std::string& json) {
        if (const auto self = weak.lock()) {
            self->notifySubscribers(protocol::StatusChanged{json});
        }
    });
    engine.setOnLog([weak](const std::string& line) {
        if (const auto self = weak.lock()) {
            self->notifySubscribers(protocol::LogLine{line});
        }
    });
    return helper;
}

CommandService::CommandService(TunnelEngine& engine, Settings settings)
    : m_engine(engine), m_settings(std::move(settings)), m_trust(m_settings.trustedClients) {}

void CommandService::accept(asio::local::stream_protocol::socket socket, bool shortOfDescriptors) {
    asio::error_code ignored;
    const auto credentials = peerCredentials(socket.native_handle());
    const uid_t uid = credentials ? credentials->uid : static_cast<uid_t>(-1);
    if (const auto refusal = limitRefusal(uid, shortOfDescriptors); !refusal.empty()) {
        m_refusalLog.write("refused a connection from uid " + std::to_string(uid) + ": " + refusal);
        socket.close(ignored);
        return;
    }
    const PeerVerdict verdict = m_trust.checkPeer(socket.native_handle());
    if (!verdict.trusted) {
        systemLog("rejected connection from untrusted client (pid " + std::to_string(verdict.pid) +
                  ")");
        socket.close(ignored);
        return;
    }
    auto connection =
        std::make_shared<ClientConnection>(std::move(socket), weak_from_this(),
                                           m_settings.maxQueuedBytes, m_settings.firstRequestLimit);
    addConnection(connection, {verdict.pid, verdict.startTime, verdict.uid});
    connection->start();
}

std::string CommandService::limitRefusal(uid_t uid, bool shortOfDescriptors) const {
    if (uid == 0) {
        return {};
    }
    if (shortOfDescriptors) {
        return "the helper is out of file descriptors";
    }
    std::lock_guard lock(m_connectionsLock);
    if (m_connections.size() >= kMaxConnections) {
        return "there are " + std::to_string(kMaxConnections) + " connections already";
    }
    const auto mine = std::count_if(m_connections.begin(), m_connections.end(),
                                    [uid](const auto& c) { return c->peer.uid == uid; });
    if (static_cast<std::size_t>(mine) >= kMaxConnectionsPerUser) {
        return "it has " + std::to_string(kMaxConnectionsPerUser) + " connections already";
    }
    return {};
}

void CommandService::addConnection(std::shared_ptr<ClientChannel> connection,
                                   AuthorizationSubject peer) {
    auto entry = std::make_shared<Connection>(std::move(connection), peer);
    std::lock_guard lock(m_connectionsLock);
    m_connections.push_back(std::move(entry));
}

void CommandService::removeConnection(const ClientChannel& connection) {
    std::shared_ptr<Connection> removed;
    {
        std::lock_guard lock(m_connectionsLock);
        const auto it =
            std::find_if(m_connections.begin(), m_connections.end(),
                         [&](const auto& c) { return c->channel.get() == &connection; });
        if (it != m_connections.end()) {
            removed = std::move(*it);
            m_connections.erase(it);
        }
        unsubscribeLocked(connection);
    }
    tellEngineWhetherFollowed();
    if (!removed) {
        return;
    }
    // Whatever the pending authorization ends with, nothing of this
    // connection runs any more; the user's dialog, if any, goes away.
    removed->removed = true;
    removed->waiting.clear();
    if (removed->checking && m_settings.authorizer) {
        m_settings.authorizer->cancel(*removed->checking);
    }
}

std::shared_ptr<CommandService::Connection>
CommandService::findConnection(const ClientChannel& channel) const {
    std::lock_guard lock(m_connectionsLock);
    const auto it = std::find_if(m_connections.begin(), m_connections.end(),
                                 [&](const auto& c) { return c->channel.get() == &channel; });
    return it == m_connections.end() ? nullptr : *it;
}

std::size_t CommandService::subscriberCount() const {
    std::lock_guard lock(m_connectionsLock);
    return m_subscribers.size();
}

void CommandService::unsubscribeLocked(const ClientChannel& channel) {
    std::erase_if(m_subscribers,
                  [&](const auto& subscriber) { return subscriber.get() == &channel; });
}

void CommandService::tellEngineWhetherFollowed() {
    bool followed = false;
    {
        std::lock_guard lock(m_connectionsLock);
        followed = !m_subscribers.empty();
        if (followed == m_engineToldFollowed) {
            return;
        }
        m_engineToldFollowed = followed;
    }
    m_engine.setStatusFollowed(followed);
}

std::size_t CommandService::connectionCount() const {
    std::lock_guard lock(m_connectionsLock);
    return m_connections.size();
}

void CommandService::closeAllConnections() {
    std::vector<std::shared_ptr<Connection>> connections;
    {
        std::lock_guard lock(m_connectionsLock);
        connections.swap(m_connections);
        m_subscribers.clear();
    }
    tellEngineWhetherFollowed();
    for (const auto& connection : connections) {
        connection->removed = true;
        connection->channel->closeAfterSending();
    }
}

CommandService::ReadResult CommandService::receive(const std::shared_ptr<ClientChannel>& client,
                                                   protocol::LineFramer& framer,
                                                   std::string_view bytes) {
    const auto connection = findConnection(*client);
    if (!connection) {
        return ReadResult::close;
    }
    const bool withinLimit = framer.append(bytes);
    // Lines that were complete before an overflow are still served.
    for (;;) {
        {
            std::lock_guard lock(connection->countLock);
            if (connection->unanswered >= kMaxUnansweredRequests) {
                // The rest stays in the framer, and the socket unread.
                connection->paused = true;
                return ReadResult::paused;
            }
        }
        auto line = framer.nextLine();
        if (!line) {
            break;
        }
        auto request = protocol::parseRequest(*line);
        if (!request) {
            // The requests before it are answered all the same.
            return ReadResult::finish;
        }
        client->markInUse();
        {
            std::lock_guard lock(connection->countLock);
            ++connection->unanswered;
        }
        dispatch(connection, std::move(*request));
    }
    return withinLimit ? ReadResult::more : ReadResult::finish;
}

void CommandService::finishConnection(const ClientChannel& channel) {
    const auto connection = findConnection(channel);
    if (!connection) {
        return;
    }
    {
        // A client that sends nothing more is leaving; callbacks would keep
        // its connection open for good.
        std::lock_guard lock(m_connectionsLock);
        unsubscribeLocked(channel);
    }
    tellEngineWhetherFollowed();
    bool answered = false;
    {
        std::lock_guard lock(connection->countLock);
        connection->finished = true;
        answered = connection->unanswered == 0;
    }
    if (answered) {
        connection->channel->closeAfterSending();
    }
}

void CommandService::notifySubscribers(const protocol::Callback& callback) {
    std::vector<std::shared_ptr<ClientChannel>> subscribers;
    {
        std::lock_guard lock(m_connectionsLock);
        subscribers = m_subscribers;
    }
    if (subscribers.empty()) {
        return;
    }
    const std::string line = callbackLine(callback);
    if (line.empty()) {
        return;
    }
    // Each channel queues on its own: one that stopped reading is dropped by
    // its own queue limit and never holds up the others.
    for (const auto& subscriber : subscribers) {
        subscriber->send(line);
    }
}

CommandReply CommandService::commandReplyTo(const std::shared_ptr<Connection>& connection,
                                            std::int64_t id, bool mayTearDown) {
    std::function<void()> after = mayTearDown ? m_settings.afterTeardown : nullptr;
    return [weak = std::weak_ptr<Connection>(connection), id,
            after = std::move(after)](std::int64_t code, const std::string& message) {
        if (after) {
            after();
        }
        if (const auto entry = weak.lock()) {
            entry->answer(replyLine(id, protocol::CommandReply{code, message}));
        }
    };
}

void CommandService::dispatch(const std::shared_ptr<Connection>& connection,
                              protocol::Request request) {
    // Version and status are open to every trusted client and answered at
    // once, even while the connection waits for an authorization.
    if (request.call == protocol::HelperCall::getVersion) {
        connection->answer(replyLine(request.id, protocol::VersionReply{m_settings.version}));
        return;
    }
    if (request.call == protocol::HelperCall::status) {
        connection->answer(replyLine(request.id, protocol::StatusReply{m_engine.encodedStatus()}));
        return;
    }
    // Managed profiles carry no secret: every trusted client may see what the
    // administrator installed, as it sees the status.
    if (request.call == protocol::HelperCall::managedProfiles) {
        const auto json = m_settings.managedProfiles ? m_settings.managedProfiles() : "[]";
        connection->answer(replyLine(request.id, protocol::ManagedProfilesReply{json}));
        return;
    }
    // The leak check only reads, so it is open like status; it runs on the
    // engine queue, which replies.
    if (request.call == protocol::HelperCall::leakCheck) {
        m_engine.leakCheck(
            [weak = std::weak_ptr<Connection>(connection), id = request.id](std::string json) {
                if (const auto entry = weak.lock()) {
                    entry->answer(replyLine(id, protocol::LeakCheckReply{std::move(json)}));
                }
            });
        return;
    }
    connection->waiting.push_back(std::move(request));
    admitNext(connection);
}

void CommandService::admitNext(const std::shared_ptr<Connection>& connection) {
    while (!connection->removed && !connection->checking && !connection->waiting.empty()) {
        const auto action = actionFor(connection->waiting.front());
        if (connection->peer.uid == 0 || !action) {
            auto request = std::move(connection->waiting.front());
            connection->waiting.pop_front();
            perform(connection, std::move(request));
            continue;
        }
        if (!m_settings.authorizer) {
            auto request = std::move(connection->waiting.front());
            connection->waiting.pop_front();
            refuse(connection, request, "nothing can authorize it here, so only root may do this");
            continue;
        }
        // One check at a time per connection: the next call is not even
        // asked about before this one has been decided and carried out, so
        // a start and a stop of one profile can never swap places.
        connection->checking = m_settings.authorizer->check(
            connection->peer, *action,
            [weakSelf = weak_from_this(),
             weakConnection = std::weak_ptr<Connection>(connection)](AuthorizationResult result) {
                const auto self = weakSelf.lock();
                const auto entry = weakConnection.lock();
                if (self && entry) {
                    self->authorizationDone(entry, std::move(result));
                }
            });
    }
}

void CommandService::authorizationDone(const std::shared_ptr<Connection>& connection,
                                       AuthorizationResult result) {
    connection->checking.reset();
    if (connection->removed || connection->waiting.empty()) {
        return;
    }
    auto request = std::move(connection->waiting.front());
    connection->waiting.pop_front();
    if (result.authorized) {
        perform(connection, std::move(request));
    } else {
        refuse(connection, request, result.reason);
    }
    admitNext(connection);
}

std::optional<std::string> CommandService::keptConnected(const protocol::Request& request) const {
    if (request.call != protocol::HelperCall::stop || !m_settings.keptConnected) {
        return std::nullopt;
    }
    return m_settings.keptConnected(request.profileID);
}

std::optional<AuthorizedAction> CommandService::actionFor(const protocol::Request& request) const {
    // Stopping what the administrator keeps connected takes the
    // administrator's action, not the user's.
    if (keptConnected(request)) {
        return AuthorizedAction::manage;
    }
    return gatedAction(request.call);
}

void CommandService::refuse(const std::shared_ptr<Connection>& connection,
                            const protocol::Request& request, const std::string& reason) {
    const auto action = actionFor(request).value_or(AuthorizedAction::manage);
    if (const auto name = keptConnected(request)) {
        connection->answer(replyLine(
            request.id, protocol::ErrorReply{"Not authorized: '" + *name +
                                             "' is kept connected by your administrator; "
                                             "stopping it requires authorization (" +
                                             std::string(actionID(action)) + ") — " + reason}));
        return;
    }
    connection->answer(replyLine(
        request.id, protocol::ErrorReply{"Not authorized: " + std::string(attempt(request.call)) +
                                         " requires authorization (" +
                                         std::string(actionID(action)) + ") — " + reason}));
}

void CommandService::perform(const std::shared_ptr<Connection>& connection,
                             protocol::Request request) {
    using protocol::HelperCall;
    const std::int64_t id = request.id;
    const auto beforeTeardown = [this] {
        if (m_settings.beforeTeardown) {
            m_settings.beforeTeardown();
        }
    };
    switch (request.call) {
    case HelperCall::subscribe:
        subscribe(connection, id);
        break;
    case HelperCall::start:
        start(connection, request);
        break;
    case HelperCall::stop:
        beforeTeardown();
        m_engine.stop(std::move(request.profileID), commandReplyTo(connection, id, true));
        break;
    case HelperCall::stopAll:
        beforeTeardown();
        m_engine.stopAll(commandReplyTo(connection, id, true));
        break;
    case HelperCall::forceKillAll:
        beforeTeardown();
        m_engine.forceKillAll(commandReplyTo(connection, id, true));
        break;
    case HelperCall::setPriorities:
        m_engine.setPriorities(std::move(request.profileIDs),
                               [weak = std::weak_ptr<Connection>(connection), id] {
                                   if (const auto entry = weak.lock()) {
                                       entry->answer(replyLine(id, protocol::EmptyReply{}));
                                   }
                               });
        break;
    case HelperCall::terminate: {
        // The reply is queued before the daemon's own SIGTERM is delivered,
        // so the client learns that the request was accepted before it goes.
        const auto declined =
            m_settings.onTerminate ? m_settings.onTerminate() : std::optional<std::string>{};
        if (declined) {
            connection->answer(replyLine(id, protocol::ErrorReply{*declined}));
        } else {
            connection->answer(replyLine(id, protocol::EmptyReply{}));
        }
        break;
    }
    case HelperCall::getVersion:
    case HelperCall::status:
    case HelperCall::leakCheck:
    case HelperCall::managedProfiles:
        break;
    }
}

void CommandService::subscribe(const std::shared_ptr<Connection>& connection, std::int64_t id) {
    {
        std::lock_guard lock(m_connectionsLock);
        // Only a live connection can subscribe; one already removed would
        // otherwise be kept as a subscriber that no longer exists.
        if (std::find(m_connections.begin(), m_connections.end(), connection) !=
                m_connections.end() &&
            std::find(m_subscribers.begin(), m_subscribers.end(), connection->channel) ==
                m_subscribers.end()) {
            m_subscribers.push_back(connection->channel);
        }
    }
    connection->answer(replyLine(id, protocol::SubscribeReply{true}));
    tellEngineWhetherFollowed();
    // A new subscriber gets the current state at once, even with no tunnels;
    // the others have it already.
    if (auto line = callbackLine(protocol::StatusChanged{m_engine.encodedStatus()});
        !line.empty()) {
        connection->channel->send(std::move(line));
    }
}

void CommandService::start(const std::shared_ptr<Connection>& connection,
                           const protocol::Request& request) {
    auto profile = decodeProfile(request.configData);
    if (!profile) {
        connection->answer(replyLine(
            request.id,
            protocol::CommandReply{-2, "Invalid configuration: " + profile.error().message}));
        return;
    }
    auto secrets = decodeSecrets(request.secrets);
    if (!secrets) {
        connection->answer(replyLine(
            request.id,
            protocol::CommandReply{-2, "Invalid configuration: " + secrets.error().message}));
        return;
    }
    m_engine.start(std::move(*profile), std::move(*secrets),
                   commandReplyTo(connection, request.id, false));
}

} // namespace torvane

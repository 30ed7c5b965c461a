#include "Helper.h"

#include "ClientConnection.h"
#include "SystemLog.h"
#include "VPNProfile.h"
#include "VPNSecrets.h"

#include <algorithm>
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

std::shared_ptr<Helper> Helper::create(TunnelEngine& engine, Settings settings) {
    std::shared_ptr<Helper> helper(new Helper(engine, std::move(settings)));
    const std::weak_ptr<Helper> weak = helper;
    engine.setOnStatus([weak](const std::string& json) {
        if (const auto self = weak.lock()) {
            self->notifySubscriber(protocol::StatusChanged{json});
        }
    });
    engine.setOnLog([weak](const std::string& line) {
        if (const auto self = weak.lock()) {
            self->notifySubscriber(protocol::LogLine{line});
        }
    });
    return helper;
}

Helper::Helper(TunnelEngine& engine, Settings settings)
    : m_engine(engine), m_settings(std::move(settings)), m_trust(m_settings.trustedClients) {}

void Helper::accept(asio::local::stream_protocol::socket socket) {
    const PeerVerdict verdict = m_trust.checkPeer(socket.native_handle());
    if (!verdict.trusted) {
        systemLog("rejected XPC connection from untrusted client (pid " +
                  std::to_string(verdict.pid) + ")");
        asio::error_code ignored;
        socket.close(ignored);
        return;
    }
    auto connection = std::make_shared<ClientConnection>(std::move(socket), weak_from_this(),
                                                         m_settings.maxQueuedBytes);
    addConnection(connection);
    connection->start();
}

void Helper::addConnection(std::shared_ptr<ClientChannel> connection) {
    std::lock_guard lock(m_connectionsLock);
    m_connections.push_back(std::move(connection));
}

void Helper::removeConnection(const ClientChannel& connection) {
    std::shared_ptr<ClientChannel> removed;
    {
        std::lock_guard lock(m_connectionsLock);
        const auto it = std::find_if(m_connections.begin(), m_connections.end(),
                                     [&](const auto& c) { return c.get() == &connection; });
        if (it != m_connections.end()) {
            removed = std::move(*it);
            m_connections.erase(it);
        }
        if (m_subscriber.get() == &connection) {
            m_subscriber.reset();
        }
    }
    // `removed` may hold the last reference; it goes outside the lock.
}

std::shared_ptr<ClientChannel> Helper::subscriberClient() const {
    std::lock_guard lock(m_connectionsLock);
    return m_subscriber;
}

std::size_t Helper::connectionCount() const {
    std::lock_guard lock(m_connectionsLock);
    return m_connections.size();
}

void Helper::closeAllConnections() {
    std::vector<std::shared_ptr<ClientChannel>> connections;
    {
        std::lock_guard lock(m_connectionsLock);
        connections.swap(m_connections);
        m_subscriber.reset();
    }
    for (const auto& connection : connections) {
        connection->close();
    }
}

bool Helper::receive(const std::shared_ptr<ClientChannel>& client, protocol::LineFramer& framer,
                     std::string_view bytes) {
    const bool withinLimit = framer.append(bytes);
    // Lines that were complete before an overflow are still served.
    while (auto line = framer.nextLine()) {
        auto request = protocol::parseRequest(*line);
        if (!request) {
            return false;
        }
        dispatch(client, std::move(*request));
    }
    return withinLimit;
}

void Helper::notifySubscriber(const protocol::Callback& callback) {
    const auto subscriber = subscriberClient();
    if (!subscriber) {
        return;
    }
    if (auto line = callbackLine(callback); !line.empty()) {
        subscriber->send(std::move(line));
    }
}

CommandReply Helper::commandReplyTo(const std::shared_ptr<ClientChannel>& client, std::int64_t id) {
    return [weak = std::weak_ptr<ClientChannel>(client), id](std::int64_t code,
                                                             const std::string& message) {
        if (const auto channel = weak.lock()) {
            channel->send(replyLine(id, protocol::CommandReply{code, message}));
        }
    };
}

void Helper::dispatch(const std::shared_ptr<ClientChannel>& client, protocol::Request request) {
    using protocol::HelperCall;
    const std::int64_t id = request.id;
    switch (request.call) {
    case HelperCall::getVersion:
        client->send(replyLine(id, protocol::VersionReply{m_settings.version}));
        break;
    case HelperCall::subscribe:
        subscribe(client, id);
        break;
    case HelperCall::start:
        start(client, request);
        break;
    case HelperCall::stop:
        m_engine.stop(std::move(request.profileID), commandReplyTo(client, id));
        break;
    case HelperCall::stopAll:
        m_engine.stopAll(commandReplyTo(client, id));
        break;
    case HelperCall::forceKillAll:
        m_engine.forceKillAll(commandReplyTo(client, id));
        break;
    case HelperCall::setPriorities:
        m_engine.setPriorities(std::move(request.profileIDs),
                               [weak = std::weak_ptr<ClientChannel>(client), id] {
                                   if (const auto channel = weak.lock()) {
                                       channel->send(replyLine(id, protocol::EmptyReply{}));
                                   }
                               });
        break;
    case HelperCall::status:
        client->send(replyLine(id, protocol::StatusReply{m_engine.encodedStatus()}));
        break;
    case HelperCall::terminate:
        // The reply is queued before anything else happens, so the client
        // learns that the daemon accepted the request before it goes away.
        client->send(replyLine(id, protocol::EmptyReply{}));
        if (m_settings.onTerminate) {
            m_settings.onTerminate();
        }
        break;
    }
}

void Helper::subscribe(const std::shared_ptr<ClientChannel>& client, std::int64_t id) {
    {
        std::lock_guard lock(m_connectionsLock);
        // Only a live connection can subscribe; one already removed would
        // otherwise be kept as a subscriber that no longer exists.
        if (std::find(m_connections.begin(), m_connections.end(), client) != m_connections.end()) {
            m_subscriber = client;
        }
    }
    client->send(replyLine(id, protocol::SubscribeReply{true}));
    // A new subscriber gets the current state at once, even with no tunnels.
    notifySubscriber(protocol::StatusChanged{m_engine.encodedStatus()});
}

void Helper::start(const std::shared_ptr<ClientChannel>& client, const protocol::Request& request) {
    auto profile = decodeProfile(request.configData);
    if (!profile) {
        client->send(replyLine(
            request.id,
            protocol::CommandReply{-2, "Invalid configuration: " + profile.error().message}));
        return;
    }
    auto secrets = decodeSecrets(request.secrets);
    if (!secrets) {
        client->send(replyLine(
            request.id,
            protocol::CommandReply{-2, "Invalid configuration: " + secrets.error().message}));
        return;
    }
    m_engine.start(std::move(*profile), std::move(*secrets), commandReplyTo(client, request.id));
}

} // namespace torvane

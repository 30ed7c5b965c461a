#include "Torvane/core/DaemonClient.h"

#include "Torvane/core/AppLog.h"
#include "Torvane/core/ResumeOnce.h"
#include "shared/managed/ManagedProfileJson.h"

#include <variant>

namespace torvane {

namespace {

protocol::Request requestFor(protocol::HelperCall call) {
    protocol::Request request;
    request.call = call;
    return request;
}

/// Socket activation starts the daemon on the first connection; a daemon
/// that comes up answers well within this.
constexpr double kReconnectProbeTimeout = 6;

std::string connectionError(const std::string& description) {
    return "Helper connection error: " + description;
}

/// The daemon's answer as a result: its own (code, message), a refusal, or
/// (0, "") for replies that carry no result.
HelperResult resultOf(const protocol::Reply& reply) {
    if (const auto* command = std::get_if<protocol::CommandReply>(&reply)) {
        return {command->code, command->message};
    }
    if (const auto* refused = std::get_if<protocol::ErrorReply>(&reply)) {
        return {HelperResult::kNotAuthorized, refused->message};
    }
    return {0, {}};
}

} // namespace

DaemonClient::DaemonClient(Dependencies dependencies) : m_deps(std::move(dependencies)) {}

DaemonClient::~DaemonClient() {
    std::vector<std::shared_ptr<HelperConnection>> open;
    {
        std::lock_guard lock(m_lock);
        m_closing = true;
        m_subscription = nullptr;
        m_connection.reset();
        for (const auto& weak : m_connections) {
            if (auto connection = weak.lock()) {
                open.push_back(std::move(connection));
            }
        }
    }
    for (const auto& connection : open) {
        connection->invalidate();
    }
    m_tasks.joinAll();
    for (const auto& connection : open) {
        connection->waitUntilClosed();
    }
}

void DaemonClient::log(std::string_view text) {
    appSystemLog("Torvane: " + std::string(text));
}

std::shared_ptr<HelperConnection> DaemonClient::connection() {
    std::lock_guard lock(m_lock);
    if (m_closing) {
        return nullptr;
    }
    if (m_connection) {
        return m_connection;
    }
    // A daemon that is not there is not "no connection": the connection is
    // made all the same and fails on its first call with the reason, the way
    // a connection to a service that is not running is invalidated. The
    // caller then gets "Helper connection error: <reason>" (and start, stop and stopAll
    // repair and retry), the probe logs why it failed, and the next call
    // tries a fresh connection. "Helper connection error: no connection" is left for when
    // no connection can be had at all: while this DaemonClient is going away.
    HelperConnection::Handlers handlers;
    handlers.onCallback = [this](const protocol::Callback& callback) {
        deliverCallback(callback);
    };
    handlers.onInvalidated = [this](HelperConnection& which) {
        connectionInvalidated(which);
    };
    m_connection = HelperConnection::open(m_deps.socketPath, std::move(handlers));
    std::erase_if(m_connections, [](const auto& weak) { return weak.expired(); });
    m_connections.push_back(m_connection);
    return m_connection;
}

void DaemonClient::dropConnection() {
    std::lock_guard lock(m_lock);
    // Letting go of the subscription on purpose is no loss to report.
    m_subscription = nullptr;
    if (m_connection) {
        // Calls already sent on it still get their replies; a new call gets
        // a fresh connection.
        m_connection->retire();
        m_connection.reset();
    }
}

void DaemonClient::connectionInvalidated(HelperConnection& which) {
    bool subscriptionLost = false;
    {
        std::lock_guard lock(m_lock);
        // A connection dropped earlier closing later is no news, and must
        // not take the current one with it.
        if (m_connection.get() != &which) {
            return;
        }
        m_connection.reset();
        subscriptionLost = m_subscription == &which;
        m_subscription = nullptr;
    }
    log("Helper: connection invalidated");
    if (subscriptionLost) {
        client().connectionLost();
    }
}

void DaemonClient::deliverCallback(const protocol::Callback& callback) {
    if (const auto* status = std::get_if<protocol::StatusChanged>(&callback)) {
        client().statusChanged(status->data);
    } else if (const auto* line = std::get_if<protocol::LogLine>(&callback)) {
        client().logLine(line->line);
    }
}

HelperResult DaemonClient::invokeReply(const protocol::Request& request) {
    auto connection = this->connection();
    if (!connection) {
        return {-1, connectionError("no connection")};
    }
    auto result = std::make_shared<ResumeOnce<HelperResult>>();
    connection->call(
        request,
        [result](const protocol::Reply& reply) {
            const bool carriesResult = std::holds_alternative<protocol::CommandReply>(reply) ||
                                       std::holds_alternative<protocol::ErrorReply>(reply);
            result->resume(carriesResult ? resultOf(reply)
                                         : HelperResult{-1, connectionError("unexpected reply")});
        },
        [result](const std::string& description) {
            result->resume({-1, connectionError(description)});
        });
    return result->wait();
}

HelperResult DaemonClient::invokeWithRetry(std::string_view name,
                                           const protocol::Request& request) {
    const HelperResult first = invokeReply(request);
    if (first.code != -1 || !first.message.starts_with("Helper connection error")) {
        return first;
    }
    log("Helper: " + std::string(name) + " failed (" + first.message +
        ") — refreshing daemon and retrying");
    recoverConnection();
    return invokeReply(request);
}

void DaemonClient::subscribeNow(const std::function<void(HelperResult)>& done) {
    const auto finish = [done](HelperResult result) {
        if (done) {
            done(std::move(result));
        }
    };
    auto connection = this->connection();
    if (!connection) {
        finish({-1, connectionError("no connection")});
        return;
    }
    connection->call(
        requestFor(protocol::HelperCall::subscribe),
        [this, finish, on = connection.get()](const protocol::Reply& reply) {
            if (const auto* refused = std::get_if<protocol::ErrorReply>(&reply)) {
                log("Helper: subscribe error: " + refused->message);
                finish(resultOf(reply));
                return;
            }
            const auto* subscribed = std::get_if<protocol::SubscribeReply>(&reply);
            const bool yes = subscribed != nullptr && subscribed->subscribed;
            log(std::string("Helper: subscribed ") + (yes ? "true" : "false"));
            if (yes) {
                std::lock_guard lock(m_lock);
                // A connection dropped while the reply travelled carries
                // nothing the app relies on.
                if (m_connection.get() == on) {
                    m_subscription = on;
                }
            }
            finish(yes ? HelperResult{0, {}} : HelperResult{1, "the helper did not subscribe"});
        },
        [finish](const std::string& description) {
            log("Helper: subscribe error: " + description);
            finish({-1, connectionError(description)});
        });
}

DaemonClient::TerminateAnswer DaemonClient::requestTerminate() {
    auto done = std::make_shared<ResumeOnce<TerminateAnswer>>();
    auto connection = this->connection();
    if (!connection) {
        return TerminateAnswer::none;
    }
    const auto limit =
        m_deps.clock->startTimer(Clock::Duration(4), std::nullopt, Clock::Duration(0),
                                 [done] { done->resume(TerminateAnswer::none); });
    connection->call(
        requestFor(protocol::HelperCall::terminate),
        [done](const protocol::Reply& reply) {
            if (const auto* declined = std::get_if<protocol::ErrorReply>(&reply)) {
                log("Helper: " + declined->message);
                done->resume(TerminateAnswer::declined);
            } else {
                done->resume(TerminateAnswer::accepted);
            }
        },
        [done](const std::string&) { done->resume(TerminateAnswer::none); });
    return done->wait();
}

void DaemonClient::establishConnection(std::function<void(bool)> done) {
    m_tasks.run([this, done = std::move(done)] { done(establishConnectionNow()); });
}

void DaemonClient::reconnect(std::function<void(bool)> done) {
    m_tasks.run([this, done = std::move(done)] {
        dropConnection();
        done(probeReachable(kReconnectProbeTimeout, true));
    });
}

void DaemonClient::subscribe(std::function<void(HelperResult)> done) {
    m_tasks.run([this, done = std::move(done)] { subscribeNow(done); });
}

void DaemonClient::fetchStatus(std::function<void(VPNRuntimeStatus)> done) {
    m_tasks.run([this, done = std::move(done)] {
        auto connection = this->connection();
        if (!connection) {
            done(VPNRuntimeStatus{});
            return;
        }
        auto result = std::make_shared<ResumeOnce<VPNRuntimeStatus>>();
        connection->call(
            requestFor(protocol::HelperCall::status),
            [result](const protocol::Reply& reply) {
                const auto* status = std::get_if<protocol::StatusReply>(&reply);
                auto decoded = decodeRuntimeStatus(status != nullptr ? status->data : "");
                result->resume(decoded ? std::move(*decoded) : VPNRuntimeStatus{});
            },
            [result](const std::string&) { result->resume(VPNRuntimeStatus{}); });
        done(result->wait());
    });
}

template <typename ReplyType, typename Value, typename Decode>
void DaemonClient::fetchDocument(protocol::HelperCall call, Decode decode,
                                 std::function<void(Expected<Value, std::string>)> done) {
    using Result = Expected<Value, std::string>;
    m_tasks.run([this, call, decode, done = std::move(done)] {
        auto connection = this->connection();
        if (!connection) {
            done(Unexpected{std::string("the helper cannot be reached")});
            return;
        }
        auto result = std::make_shared<ResumeOnce<Result>>();
        connection->call(
            requestFor(call),
            [result, decode](const protocol::Reply& reply) {
                if (const auto* error = std::get_if<protocol::ErrorReply>(&reply)) {
                    result->resume(Unexpected{error->message});
                    return;
                }
                const auto* document = std::get_if<ReplyType>(&reply);
                auto decoded = decode(document != nullptr ? document->data : "");
                if (!decoded) {
                    result->resume(Unexpected{"unreadable answer: " + decoded.error().message});
                    return;
                }
                result->resume(std::move(*decoded));
            },
            [result](const std::string& error) { result->resume(Unexpected{error}); });
        done(result->wait());
    });
}

void DaemonClient::leakCheck(
    std::function<void(Expected<std::vector<LeakFinding>, std::string>)> done) {
    fetchDocument<protocol::LeakCheckReply, std::vector<LeakFinding>>(
        protocol::HelperCall::leakCheck,
        [](std::string_view json) { return decodeLeakFindings(json); }, std::move(done));
}

void DaemonClient::managedProfiles(
    std::function<void(Expected<std::vector<ManagedProfile>, std::string>)> done) {
    fetchDocument<protocol::ManagedProfilesReply, std::vector<ManagedProfile>>(
        protocol::HelperCall::managedProfiles,
        [](std::string_view json) { return decodeManagedProfiles(json); }, std::move(done));
}

void DaemonClient::start(const VPNProfile& profile, const VPNSecrets& secrets,
                         std::function<void(HelperResult)> done) {
    auto request = requestFor(protocol::HelperCall::start);
    request.configData = encodeProfile(profile);
    request.secrets = encodeSecrets(secrets);
    m_tasks.run([this, request = std::move(request), done = std::move(done)] {
        // A configuration too large for one line would make the daemon drop
        // the connection; it is refused here instead of being retried there.
        if (!protocol::encodeRequest(request)) {
            done({-3, "Failed to encode configuration"});
            return;
        }
        done(invokeWithRetry("start", request));
    });
}

void DaemonClient::stop(const std::string& profileID, std::function<void(HelperResult)> done) {
    auto request = requestFor(protocol::HelperCall::stop);
    request.profileID = profileID;
    m_tasks.run([this, request = std::move(request), done = std::move(done)] {
        done(invokeWithRetry("stop", request));
    });
}

void DaemonClient::stopAll(std::function<void(HelperResult)> done) {
    m_tasks.run([this, done = std::move(done)] {
        done(invokeWithRetry("stopAll", requestFor(protocol::HelperCall::stopAll)));
    });
}

void DaemonClient::forceKillAll(std::function<void(HelperResult)> done) {
    m_tasks.run([this, done = std::move(done)] {
        done(invokeReply(requestFor(protocol::HelperCall::forceKillAll)));
    });
}

void DaemonClient::setPriorities(std::vector<std::string> profileIDs,
                                 std::function<void(HelperResult)> done) {
    auto request = requestFor(protocol::HelperCall::setPriorities);
    request.profileIDs = std::move(profileIDs);
    m_tasks.run([this, request = std::move(request), done = std::move(done)] {
        auto connection = this->connection();
        if (!connection) {
            done({-1, connectionError("no connection")});
            return;
        }
        auto result = std::make_shared<ResumeOnce<HelperResult>>();
        connection->call(
            request, [result](const protocol::Reply& reply) { result->resume(resultOf(reply)); },
            [result](const std::string& description) {
                result->resume({-1, connectionError(description)});
            });
        done(result->wait());
    });
}

void DaemonClient::shutdownHelper(std::function<void()> done) {
    m_tasks.run([this, done = std::move(done)] {
        invokeWithRetry("stopAll", requestFor(protocol::HelperCall::stopAll));
        {
            // The daemon is about to close the connection because it was
            // asked to: that is not a lost daemon.
            std::lock_guard lock(m_lock);
            m_subscription = nullptr;
        }
        requestTerminate();
        dropConnection();
        done();
    });
}

} // namespace torvane

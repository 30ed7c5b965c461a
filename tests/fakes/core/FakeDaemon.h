#pragma once

#include "shared/protocol/HelperCall.h"
#include "shared/protocol/Request.h"
#include "shared/protocol/ServerMessage.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace torvane::testing {

/// A daemon in the test process that speaks the wire protocol on a real Unix
/// socket, so that the helper client's own transport is what gets tested.
/// What it answers is scripted; by default every command succeeds.
class FakeDaemon {
public:
    explicit FakeDaemon(std::string socketPath);
    ~FakeDaemon();
    FakeDaemon(const FakeDaemon&) = delete;
    FakeDaemon& operator=(const FakeDaemon&) = delete;

    /// Starts accepting connections on the socket path.
    void listen();
    /// The daemon and its socket go away: connections close, connecting fails.
    void stopListening();
    /// Every open connection closes; the socket keeps listening, as a socket
    /// the service manager holds for a daemon that exited.
    void dropConnections();

    /// The next reply to `call` (start, stop, stopAll, forceKillAll); later
    /// ones answer (0, "OK").
    void queueCommandReply(protocol::HelperCall call, protocol::CommandReply reply);
    /// What statusWithReply: answers (raw bytes, need not be JSON).
    void setStatusData(std::string data);
    /// What managedProfilesWithReply: answers; "[]" until set.
    void setManagedData(std::string data);
    /// false: terminateWithReply: replies and then drops every connection
    /// open at that moment.
    void setIgnoreTerminate(bool ignore);
    /// Replies to `call` are kept back until `releaseHeld`.
    void holdReplies(protocol::HelperCall call);
    void releaseHeld();
    /// Every later request of `call` is answered with an error reply
    /// carrying `message`, as to a user who is not authorized.
    void refuse(protocol::HelperCall call, std::string message);
    /// The next request of `call` closes its connection instead of a reply.
    void dropOnNext(protocol::HelperCall call);
    /// Writes a raw line ("\n" added) to every open connection.
    void sendToAll(const std::string& line);

    std::vector<protocol::HelperCall> received() const;
    int count(protocol::HelperCall call) const;
    /// Waits (in real time, bounded) until `call` has been received `times`.
    bool waitForCount(protocol::HelperCall call, int times,
                      std::chrono::milliseconds limit = std::chrono::seconds(10)) const;

private:
    struct Connection {
        int fd = -1;
        bool open = true;
        std::thread reader;
        std::mutex writeMutex;
    };

    void acceptLoop();
    void serve(const std::shared_ptr<Connection>& connection);
    void write(Connection& connection, const std::string& line);
    /// Call with m_mutex held.
    static void closeConnections(const std::vector<std::shared_ptr<Connection>>& connections);

    std::string m_socketPath;
    int m_listenFd = -1;
    int m_wakeFds[2] = {-1, -1};
    std::thread m_acceptor;

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::vector<std::shared_ptr<Connection>> m_connections;
    std::vector<protocol::HelperCall> m_received;
    std::map<protocol::HelperCall, std::deque<protocol::CommandReply>> m_commandReplies;
    std::string m_statusData;
    std::string m_managedData = "[]";
    bool m_ignoreTerminate = false;
    std::set<protocol::HelperCall> m_held;
    std::vector<std::pair<std::shared_ptr<Connection>, std::string>> m_heldReplies;
    std::set<protocol::HelperCall> m_dropNext;
    std::map<protocol::HelperCall, std::string> m_refusals;
};

} // namespace torvane::testing

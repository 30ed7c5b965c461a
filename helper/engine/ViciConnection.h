#pragma once

#include "helper/engine/ViciEvents.h"

#include <string>
#include <vector>

namespace torvane {

/// ViciEvents over strongSwan's libvici (loaded from /usr/lib/ipsec).
class ViciConnection final : public ViciEvents {
public:
    /// Null when libvici cannot connect to `uri`.
    static std::unique_ptr<ViciConnection> open(const std::string& uri);
    ~ViciConnection() override;

    bool registerEvent(const std::string& event) override;
    void close() override;

private:
    explicit ViciConnection(void* conn) : m_conn(conn) {}
    void* const m_conn;
    std::vector<std::string> m_registeredEvents;
    bool m_isClosed = false;
};

/// charon's control socket for the daemon: events through libvici,
/// commands over a socket of their own (libvici's calls cannot be given a
/// time limit or interrupted).
class CharonViciConnector final : public ViciConnector {
public:
    CharonViciConnector();
    ~CharonViciConnector() override;

    std::unique_ptr<ViciEvents> connect(const std::string& uri) override {
        return ViciConnection::open(uri);
    }
    CommandResult initiate(const std::string& uri, const std::string& child,
                           std::chrono::duration<double> timeout) override;
    Expected<std::vector<IkeSaState>, std::string>
    listSAs(const std::string& uri, const std::optional<std::string>& ike,
            std::chrono::duration<double> timeout) override;
    void interrupt() override;
    void resume() override;

private:
    /// Readable while interrupted.
    int m_interruptFd;
};

} // namespace torvane

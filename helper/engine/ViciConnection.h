#pragma once

#include "ViciEvents.h"

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

class LibviciConnector final : public ViciConnector {
public:
    std::unique_ptr<ViciEvents> connect(const std::string& uri) override {
        return ViciConnection::open(uri);
    }
};

} // namespace torvane

#include "Torvane/core/HelperClient.h"

namespace torvane {

void VPNClient::setOnStatus(std::function<void(const VPNRuntimeStatus&)> handler) {
    std::lock_guard lock(m_mutex);
    m_onStatus = std::move(handler);
}

void VPNClient::setOnLog(std::function<void(const std::string&)> handler) {
    std::lock_guard lock(m_mutex);
    m_onLog = std::move(handler);
}

void VPNClient::setOnConnectionLost(std::function<void()> handler) {
    std::lock_guard lock(m_mutex);
    m_onConnectionLost = std::move(handler);
}

void VPNClient::statusChanged(const std::string& data) {
    auto status = decodeRuntimeStatus(data);
    if (!status) {
        return;
    }
    std::function<void(const VPNRuntimeStatus&)> handler;
    {
        std::lock_guard lock(m_mutex);
        handler = m_onStatus;
    }
    if (handler) {
        handler(*status);
    }
}

void VPNClient::logLine(const std::string& line) {
    std::function<void(const std::string&)> handler;
    {
        std::lock_guard lock(m_mutex);
        handler = m_onLog;
    }
    if (handler) {
        handler(line);
    }
}

void VPNClient::connectionLost() {
    std::function<void()> handler;
    {
        std::lock_guard lock(m_mutex);
        handler = m_onConnectionLost;
    }
    if (handler) {
        handler();
    }
}

} // namespace torvane

#include "tests/fakes/core/FakeServiceRegistry.h"

namespace torvane::testing {

std::optional<std::string> FakeServiceRegistry::registerDaemon() {
    std::function<void()> action;
    {
        std::lock_guard lock(m_mutex);
        m_calls.emplace_back("register");
        if (!m_registerError.empty()) {
            return m_registerError;
        }
        action = m_onRegister;
    }
    if (action) {
        action();
    }
    return std::nullopt;
}

std::optional<std::string> FakeServiceRegistry::unregister() {
    std::lock_guard lock(m_mutex);
    m_calls.emplace_back("unregister");
    if (!m_unregisterError.empty()) {
        m_status = m_statusAfterUnregisterError;
        return m_unregisterError;
    }
    return std::nullopt;
}

ServiceStatus FakeServiceRegistry::status() {
    std::lock_guard lock(m_mutex);
    return m_status;
}

void FakeServiceRegistry::openApprovalSettings() {
    std::lock_guard lock(m_mutex);
    m_calls.emplace_back("openApprovalSettings");
}

std::optional<long> FakeServiceRegistry::daemonProcessId() {
    std::lock_guard lock(m_mutex);
    if (m_processIds.empty()) {
        return std::nullopt;
    }
    auto id = m_processIds.front();
    m_processIds.pop_front();
    return id;
}

bool FakeServiceRegistry::restartsDaemon() const {
    std::lock_guard lock(m_mutex);
    return m_restartsDaemon;
}

void FakeServiceRegistry::setRestartsDaemon(bool restarts) {
    std::lock_guard lock(m_mutex);
    m_restartsDaemon = restarts;
}

std::vector<std::string> FakeServiceRegistry::calls() const {
    std::lock_guard lock(m_mutex);
    return m_calls;
}

void FakeServiceRegistry::setStatus(ServiceStatus status) {
    std::lock_guard lock(m_mutex);
    m_status = status;
}

void FakeServiceRegistry::setRegisterError(std::string error) {
    std::lock_guard lock(m_mutex);
    m_registerError = std::move(error);
}

void FakeServiceRegistry::setUnregisterError(std::string error, ServiceStatus status) {
    std::lock_guard lock(m_mutex);
    m_unregisterError = std::move(error);
    m_statusAfterUnregisterError = status;
}

void FakeServiceRegistry::queueProcessIds(std::vector<std::optional<long>> ids) {
    std::lock_guard lock(m_mutex);
    m_processIds.assign(ids.begin(), ids.end());
}

void FakeServiceRegistry::setOnRegister(std::function<void()> action) {
    std::lock_guard lock(m_mutex);
    m_onRegister = std::move(action);
}

} // namespace torvane::testing

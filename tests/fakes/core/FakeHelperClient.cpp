#include "tests/fakes/core/FakeHelperClient.h"

namespace torvane::testing {

FakeHelperClient::FakeHelperClient() : m_thread([this] { run(); }) {}

FakeHelperClient::~FakeHelperClient() {
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void FakeHelperClient::run() {
    for (;;) {
        std::function<void()> work;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_quit || !m_work.empty(); });
            if (m_work.empty()) {
                return;
            }
            work = std::move(m_work.front());
            m_work.pop_front();
        }
        work();
    }
}

void FakeHelperClient::answer(std::function<void()> work) {
    {
        std::lock_guard lock(m_mutex);
        m_work.push_back(std::move(work));
    }
    m_wake.notify_one();
}

void FakeHelperClient::establishConnection(std::function<void(bool)> done) {
    answer([done, ok = reachable] { done(ok); });
}

void FakeHelperClient::reconnect(std::function<void(bool)> done) {
    answer([done, ok = reachable] { done(ok); });
}

void FakeHelperClient::subscribe(std::function<void(HelperResult)> done) {
    {
        std::lock_guard lock(m_mutex);
        ++m_subscriptions;
    }
    if (done) {
        answer([done] { done({0, {}}); });
    }
}

void FakeHelperClient::fetchStatus(std::function<void(VPNRuntimeStatus)> done) {
    answer([this, done] { done(fetchedStatus); });
}

void FakeHelperClient::leakCheck(
    std::function<void(Expected<std::vector<LeakFinding>, std::string>)> done) {
    answer([this, done] { done(leakCheckResult); });
}

void FakeHelperClient::managedProfiles(
    std::function<void(Expected<std::vector<ManagedProfile>, std::string>)> done) {
    {
        std::lock_guard lock(m_mutex);
        ++m_managedFetches;
    }
    answer([done, list = managed] { done(list); });
}

void FakeHelperClient::start(const VPNProfile& profile, const VPNSecrets& secrets,
                             std::function<void(HelperResult)> done) {
    {
        std::lock_guard lock(m_mutex);
        m_started.push_back({profile, secrets});
    }
    answer([this, done] { done(startResult); });
}

void FakeHelperClient::stop(const std::string& profileID, std::function<void(HelperResult)> done) {
    {
        std::lock_guard lock(m_mutex);
        m_stopped.push_back(profileID);
    }
    answer([this, done] { done(stopResult); });
}

void FakeHelperClient::stopAll(std::function<void(HelperResult)> done) {
    if (answerStopAll) {
        answer([done] { done(HelperResult{0, "Disconnected"}); });
    }
}

void FakeHelperClient::forceKillAll(std::function<void(HelperResult)> done) {
    answer([this, done] { done(forceKillResult); });
}

void FakeHelperClient::setPriorities(std::vector<std::string> profileIDs,
                                     std::function<void(HelperResult)> done) {
    {
        std::lock_guard lock(m_mutex);
        m_priorities.push_back(std::move(profileIDs));
    }
    answer([done] { done({0, {}}); });
}

void FakeHelperClient::shutdownHelper(std::function<void()> done) {
    answer(std::move(done));
}

void FakeHelperClient::pushStatus(const VPNRuntimeStatus& status) {
    answer([this, status] { client().statusChanged(encodeRuntimeStatus(status)); });
}

void FakeHelperClient::pushLog(const std::string& line) {
    answer([this, line] { client().logLine(line); });
}

std::vector<FakeHelperClient::Started> FakeHelperClient::started() const {
    std::lock_guard lock(m_mutex);
    return m_started;
}

std::vector<std::string> FakeHelperClient::stopped() const {
    std::lock_guard lock(m_mutex);
    return m_stopped;
}

std::vector<std::vector<std::string>> FakeHelperClient::priorities() const {
    std::lock_guard lock(m_mutex);
    return m_priorities;
}

int FakeHelperClient::subscriptions() const {
    std::lock_guard lock(m_mutex);
    return m_subscriptions;
}

int FakeHelperClient::managedFetches() const {
    std::lock_guard lock(m_mutex);
    return m_managedFetches;
}

} // namespace torvane::testing

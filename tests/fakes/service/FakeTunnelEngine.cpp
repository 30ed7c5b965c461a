#include "tests/fakes/service/FakeTunnelEngine.h"

#include <asio/post.hpp>

namespace torvane::test {

FakeTunnelEngine::FakeTunnelEngine(bool threaded)
    : m_threaded(threaded), m_work(m_queue.get_executor()) {
    if (m_threaded) {
        m_thread = std::thread([this] { m_queue.run(); });
    }
}

FakeTunnelEngine::~FakeTunnelEngine() {
    m_work.reset();
    m_queue.stop();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void FakeTunnelEngine::post(std::function<void()> work) {
    if (m_threaded) {
        asio::post(m_queue, std::move(work));
    } else {
        work();
    }
}

void FakeTunnelEngine::record(std::string call) {
    std::lock_guard lock(m_lock);
    m_calls.push_back(std::move(call));
}

void FakeTunnelEngine::runOnQueue(const std::function<void()>& work) {
    std::promise<void> done;
    post([&] {
        work();
        done.set_value();
    });
    done.get_future().wait();
}

void FakeTunnelEngine::start(VPNProfile profile, VPNSecrets, CommandReply reply) {
    record("start " + profile.name);
    post([reply] { reply(0, "Connected (10.99.0.1)"); });
}

void FakeTunnelEngine::stop(std::string profileID, CommandReply reply) {
    record("stop " + profileID);
    post([reply] { reply(0, "Not connected"); });
}

void FakeTunnelEngine::stopAll(CommandReply reply) {
    record("stopAll");
    post([reply] { reply(0, "Disconnected"); });
}

void FakeTunnelEngine::forceKillAll(CommandReply reply) {
    record("forceKillAll");
    post([reply] { reply(0, "Force-killed all VPN processes and restored networking"); });
}

void FakeTunnelEngine::setPriorities(std::vector<std::string> profileIDs,
                                     std::function<void()> reply) {
    std::string call = "priorities ";
    for (const auto& id : profileIDs) {
        call += id + (&id == &profileIDs.back() ? "" : ",");
    }
    record(call);
    post(std::move(reply));
}

std::string FakeTunnelEngine::encodedStatus() const {
    std::lock_guard lock(m_lock);
    return m_status;
}

void FakeTunnelEngine::leakCheck(std::function<void(std::string json)> reply) {
    record("leakCheck");
    post([reply = std::move(reply)] { reply("[]"); });
}

void FakeTunnelEngine::teardownAll(bool restoreNetworking) {
    record(restoreNetworking ? "teardown true" : "teardown false");
}

void FakeTunnelEngine::setOnStatus(std::function<void(const std::string&)> onStatus) {
    std::lock_guard lock(m_lock);
    m_onStatus = std::move(onStatus);
}

void FakeTunnelEngine::setOnLog(std::function<void(const std::string&)> onLog) {
    std::lock_guard lock(m_lock);
    m_onLog = std::move(onLog);
}

std::vector<std::string> FakeTunnelEngine::calls() const {
    std::lock_guard lock(m_lock);
    return m_calls;
}

void FakeTunnelEngine::clearCalls() {
    std::lock_guard lock(m_lock);
    m_calls.clear();
}

void FakeTunnelEngine::setStatus(std::string json) {
    std::lock_guard lock(m_lock);
    m_status = std::move(json);
}

void FakeTunnelEngine::emitStatus(const std::string& json) {
    runOnQueue([&] {
        setStatus(json);
        std::unique_lock lock(m_lock);
        const auto onStatus = m_onStatus;
        lock.unlock();
        if (onStatus) {
            onStatus(json);
        }
    });
}

void FakeTunnelEngine::emitLog(const std::string& line) {
    runOnQueue([&] {
        std::unique_lock lock(m_lock);
        const auto onLog = m_onLog;
        lock.unlock();
        if (onLog) {
            onLog(line);
        }
    });
}

} // namespace torvane::test

#pragma once

#include "helper/engine/TunnelEngine.h"

#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>

namespace torvane::test {

/// A tunnel engine that records the commands it gets ("start Office",
/// "stop ID", "priorities A,B", "teardown true", …) and answers them with
/// fixed results from its own serial queue, as the real engine does. In
/// inline mode (for the fuzzer) queued work runs at once on the caller.
class FakeTunnelEngine : public TunnelEngine {
public:
    explicit FakeTunnelEngine(bool threaded = true);
    ~FakeTunnelEngine() override;

    void start(VPNProfile profile, VPNSecrets secrets, CommandReply reply) override;
    void stop(std::string profileID, CommandReply reply) override;
    void stopAll(CommandReply reply) override;
    void forceKillAll(CommandReply reply) override;
    void setPriorities(std::vector<std::string> profileIDs, std::function<void()> reply) override;
    std::string encodedStatus() const override;
    void leakCheck(std::function<void(std::string json)> reply) override;
    void teardownAll(bool restoreNetworking) override;
    void setOnStatus(std::function<void(const std::string& json)> onStatus) override;
    void setOnLog(std::function<void(const std::string& line)> onLog) override;

    std::vector<std::string> calls() const;
    void clearCalls();

    void setStatus(std::string json);
    /// Publish a snapshot / a log line from the engine queue; return once
    /// the callback has run.
    void emitStatus(const std::string& json);
    void emitLog(const std::string& line);

private:
    void post(std::function<void()> work);
    void record(std::string call);
    void runOnQueue(const std::function<void()>& work);

    bool m_threaded;
    mutable std::mutex m_lock;
    std::vector<std::string> m_calls;
    std::string m_status = R"({"tunnels":[]})";
    std::function<void(const std::string&)> m_onStatus;
    std::function<void(const std::string&)> m_onLog;

    asio::io_context m_queue;
    asio::executor_work_guard<asio::io_context::executor_type> m_work;
    std::thread m_thread;
};

} // namespace torvane::test

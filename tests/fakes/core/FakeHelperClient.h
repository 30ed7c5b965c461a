#pragma once

#include "Torvane/core/HelperClient.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace torvane::testing {

/// A daemon client that answers every call on a thread of its own, as the
/// real client does, with the canned results below. Calls are recorded.
/// `answerStopAll = false` leaves stop-all calls unanswered, like a daemon
/// that hangs.
class FakeHelperClient final : public HelperClient {
public:
    FakeHelperClient();
    ~FakeHelperClient() override;

    void establishConnection(std::function<void(bool)> done) override;
    void reconnect(std::function<void(bool)> done) override;
    void subscribe(std::function<void(HelperResult)> done) override;
    void fetchStatus(std::function<void(VPNRuntimeStatus)> done) override;
    void
    leakCheck(std::function<void(Expected<std::vector<LeakFinding>, std::string>)> done) override;
    void managedProfiles(
        std::function<void(Expected<std::vector<ManagedProfile>, std::string>)> done) override;
    void start(const VPNProfile& profile, const VPNSecrets& secrets,
               std::function<void(HelperResult)> done) override;
    void stop(const std::string& profileID, std::function<void(HelperResult)> done) override;
    void stopAll(std::function<void(HelperResult)> done) override;
    void forceKillAll(std::function<void(HelperResult)> done) override;
    void setPriorities(std::vector<std::string> profileIDs,
                       std::function<void(HelperResult)> done) override;
    void shutdownHelper(std::function<void()> done) override;

    /// Delivers a status push or a log line from the answering thread.
    void pushStatus(const VPNRuntimeStatus& status);
    void pushLog(const std::string& line);

    struct Started {
        VPNProfile profile;
        VPNSecrets secrets;
    };
    std::vector<Started> started() const;
    std::vector<std::string> stopped() const;
    std::vector<std::vector<std::string>> priorities() const;
    int subscriptions() const;
    int managedFetches() const;

    // Canned answers; set them before the calls. An unreachable daemon
    // fails the connection attempt.
    bool reachable = true;
    HelperResult startResult{0, "Connected (10.99.0.1)"};
    HelperResult stopResult{0, "Disconnected"};
    HelperResult forceKillResult{0, "Force-killed all VPN processes and restored networking"};
    VPNRuntimeStatus fetchedStatus;
    Expected<std::vector<LeakFinding>, std::string> leakCheckResult = std::vector<LeakFinding>{};
    bool answerStopAll = true;
    std::vector<ManagedProfile> managed;

private:
    void answer(std::function<void()> work);
    void run();

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_work;
    bool m_quit = false;
    std::vector<Started> m_started;
    std::vector<std::string> m_stopped;
    std::vector<std::vector<std::string>> m_priorities;
    int m_subscriptions = 0;
    int m_managedFetches = 0;
    std::thread m_thread;
};

} // namespace torvane::testing

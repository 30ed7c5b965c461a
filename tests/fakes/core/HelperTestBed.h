#pragma once

#include "Torvane/core/DaemonClient.h"
#include "tests/fakes/FakeClock.h"
#include "tests/fakes/core/FakeDaemon.h"
#include "tests/fakes/core/FakeServiceRegistry.h"

#include <chrono>
#include <future>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace torvane::testing {

/// A DaemonClient wired to a fake daemon on a socket in a fresh temporary folder,
/// a fake registry and a fake clock, with its own settings file and daemon
/// executable, and the app's system log captured.
class HelperTestBed {
public:
    HelperTestBed();
    ~HelperTestBed();
    HelperTestBed(const HelperTestBed&) = delete;
    HelperTestBed& operator=(const HelperTestBed&) = delete;

    DaemonClient& helper();
    /// Captured system-log lines, "Torvane: " prefix included.
    std::vector<std::string> log() const;
    std::vector<std::string> logContaining(std::string_view text) const;
    /// Waits (in real time, bounded) until the client started a timer of
    /// `seconds`, then lets that much time pass.
    bool fireWhenStarted(double seconds);
    /// Gives the daemon executable a new modification time.
    void touchHelperExecutable(long seconds);
    double storedMtime() const;

    std::string folder;
    std::string socketPath;
    std::string executablePath;
    std::string settingsPath;
    FakeDaemon daemon;
    std::shared_ptr<FakeServiceRegistry> registry = std::make_shared<FakeServiceRegistry>();
    std::shared_ptr<FakeClock> clock = std::make_shared<FakeClock>();

private:
    struct LogCapture;
    std::shared_ptr<LogCapture> m_log;
    std::unique_ptr<DaemonClient> m_helper;
};

/// Starts an operation with a completion and waits (in real time, bounded)
/// for its one result. A second completion throws on the completing thread,
/// which ends the test run.
template <class T, class Start> T awaitResult(Start start) {
    auto promise = std::make_shared<std::promise<T>>();
    auto future = promise->get_future();
    start([promise](T value) { promise->set_value(std::move(value)); });
    if (future.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        throw std::runtime_error("the helper client did not complete");
    }
    return future.get();
}

} // namespace torvane::testing

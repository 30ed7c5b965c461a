#include "helper/process/EngineError.h"
#include "helper/process/PosixChildProcess.h"
#include "helper/process/PosixProcessLauncher.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <mutex>
#include <string>
#include <sys/wait.h>
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace torvane {
namespace {

using namespace std::chrono_literals;

/// Collects a child's output and lets the test wait for a piece of it.
class OutputSink {
public:
    OutputHandler handler() {
        return [this](std::string_view chunk) {
            std::lock_guard lock(m_mutex);
            m_text += chunk;
            m_changed.notify_all();
        };
    }
    bool waitFor(const std::string& piece) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, 30s,
                                  [&] { return m_text.find(piece) != std::string::npos; });
    }
    std::string text() {
        std::lock_guard lock(m_mutex);
        return m_text;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::string m_text;
};

std::unique_ptr<ChildProcess>
launchSh(const std::string& script, OutputHandler handler,
         const std::optional<EnvironmentOverlay>& env = std::nullopt) {
    PosixProcessLauncher launcher;
    return launcher.launch("/bin/sh", {"-c", script}, env, std::move(handler));
}

bool processIsGone(pid_t pid) {
    // Reaped: no longer our child, and no zombie left behind.
    return ::waitpid(pid, nullptr, WNOHANG) == -1 && errno == ECHILD && ::kill(pid, 0) == -1;
}

TEST(PosixChildProcess, DeliversMergedOutputWhileRunning) {
    OutputSink sink;
    auto child = launchSh("echo out; echo err >&2; echo $TORVANE_CHILD_VAR; exec sleep 30",
                          sink.handler(), EnvironmentOverlay{{"TORVANE_CHILD_VAR", "overlaid"}});
    ASSERT_TRUE(sink.waitFor("overlaid\n"));
    EXPECT_EQ(sink.text(), "out\nerr\noverlaid\n");
    EXPECT_TRUE(child->isRunning());
    EXPECT_GT(child->pid(), 0);
}

TEST(PosixChildProcess, TerminateAndKillEndTheProcess) {
    OutputSink sink;
    auto polite = launchSh("exec sleep 30", sink.handler());
    polite->terminate();
    polite->waitUntilExit();
    EXPECT_FALSE(polite->isRunning());
    EXPECT_EQ(dynamic_cast<PosixChildProcess&>(*polite).exitStatus(), 128 + SIGTERM);

    auto stubborn = launchSh("trap '' TERM; echo ready; exec sleep 30", sink.handler());
    ASSERT_TRUE(sink.waitFor("ready"));
    stubborn->terminate();
    EXPECT_TRUE(stubborn->isRunning());
    stubborn->kill();
    stubborn->waitUntilExit();
    EXPECT_EQ(dynamic_cast<PosixChildProcess&>(*stubborn).exitStatus(), 128 + SIGKILL);
    // Signals after the exit go nowhere (the pid may belong to someone else).
    stubborn->terminate();
    stubborn->kill();
}

TEST(PosixChildProcess, LaunchFailureThrowsWithTheReason) {
    PosixProcessLauncher launcher;
    EXPECT_THAT([&] { launcher.launch("/nonexistent/charon", {}, std::nullopt, {}); },
                ::testing::ThrowsMessage<EngineError>(
                    "failed to launch /nonexistent/charon: No such file or directory"));
}

TEST(PosixChildProcess, NoCallbackAfterStopReadingOutputReturns) {
    for (int round = 0; round < 20; ++round) {
        std::atomic<bool> stopReturned = false;
        std::atomic<int> lateCalls = 0;
        std::atomic<int> calls = 0;
        auto child = launchSh("exec yes torvane", [&](std::string_view) {
            ++calls;
            if (stopReturned) {
                ++lateCalls;
            }
            std::this_thread::yield();
        });
        while (calls == 0) {
            std::this_thread::yield();
        }
        child->stopReadingOutput();
        stopReturned = true;
        std::this_thread::sleep_for(5ms);
        // The child keeps writing; its output must be drained, not block it.
        EXPECT_TRUE(child->isRunning());
        child->kill();
        child->waitUntilExit();
        ASSERT_EQ(lateCalls, 0) << "round " << round;
    }
}

TEST(PosixChildProcess, StopReadingOutputFromInsideTheHandler) {
    std::atomic<int> calls = 0;
    ChildProcess* self = nullptr;
    std::mutex selfMutex;
    std::unique_lock hold(selfMutex);
    auto child = launchSh("exec yes torvane", [&](std::string_view) {
        std::lock_guard lock(selfMutex);
        ++calls;
        self->stopReadingOutput();
    });
    self = child.get();
    hold.unlock();
    while (calls == 0) {
        std::this_thread::yield();
    }
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(calls, 1);
}

TEST(PosixChildProcess, DestroyingARunningChildLeavesNoZombie) {
    pid_t pid = 0;
    {
        auto child = launchSh("exec sleep 30", {});
        pid = child->pid();
    }
    EXPECT_TRUE(processIsGone(pid));

    // A background process holding the output pipe must not keep the
    // destructor waiting.
    OutputSink sink;
    pid_t grandchild = 0;
    {
        auto child = launchSh("sleep 60 & echo $!; exec sleep 30", sink.handler());
        ASSERT_TRUE(sink.waitFor("\n"));
        grandchild = std::stoi(sink.text());
        pid = child->pid();
    }
    EXPECT_TRUE(processIsGone(pid));
    ::kill(grandchild, SIGKILL);
}

TEST(PosixChildProcess, WaitingFromTwoThreadsReapsOnce) {
    auto child = launchSh("exec sleep 0.2", {});
    std::thread other([&] { child->waitUntilExit(); });
    child->waitUntilExit();
    other.join();
    EXPECT_FALSE(child->isRunning());
    EXPECT_EQ(dynamic_cast<PosixChildProcess&>(*child).exitStatus(), 0);
}

} // namespace
} // namespace torvane

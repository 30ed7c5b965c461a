#include "shared/process/CommandOutput.h"
#include "shared/process/PosixCommandRunner.h"
#include "tests/fakes/RecordingCommandRunner.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace torvane {
namespace {

using namespace std::chrono_literals;
using ::testing::HasSubstr;
using ::testing::StartsWith;
using Clock = std::chrono::steady_clock;

CommandResult sh(const std::string& script, std::chrono::duration<double> timeout = 30s,
                 const std::optional<EnvironmentOverlay>& env = std::nullopt) {
    PosixCommandRunner runner;
    return runner.runCommand("/bin/sh", {"-c", script}, env, timeout);
}

TEST(CommandOutputText, TrimsOuterBlanksAndKeepsInnerLines) {
    EXPECT_EQ(commandOutputText("  \n\tfirst\n\nsecond  \r\n\n"), "first\n\nsecond");
    EXPECT_EQ(commandOutputText("\xC2\xA0value\xE2\x80\xA8"), "value"); // U+00A0, U+2028
    EXPECT_EQ(commandOutputText(" \n\t "), "");
    EXPECT_EQ(commandOutputText("gr\xC3\xBC\xC3\x9F"), "gr\xC3\xBC\xC3\x9F");
}

TEST(CommandOutputText, UndecodableBytesGiveEmptyText) {
    EXPECT_EQ(commandOutputText("ok \xFF"), "");
    EXPECT_EQ(commandOutputText("\xC0\xAF"), "");         // overlong "/"
    EXPECT_EQ(commandOutputText("\xED\xA0\x80"), "");     // surrogate
    EXPECT_EQ(commandOutputText("\xF4\x90\x80\x80"), ""); // above U+10FFFF
    EXPECT_EQ(commandOutputText("cut \xE2\x82"), "");     // truncated sequence
    EXPECT_TRUE(isValidUtf8("\xF0\x9F\x94\x92 lock"));
}

TEST(PosixCommandRunner, PassesArgumentsWithoutAShell) {
    PosixCommandRunner runner;
    const auto result = runner.runCommand("/bin/echo", {"$HOME", "a b", "'q'"}, std::nullopt, 10s);
    EXPECT_EQ(result, (CommandResult{0, "$HOME a b 'q'"}));
}

TEST(PosixCommandRunner, EnvironmentOverlayReplacesAndAddsVariables) {
    ::setenv("TORVANE_RUNNER_TEST", "daemon", 1);
    ::setenv("TORVANE_RUNNER_KEPT", "kept", 1);
    const std::string script = "echo $TORVANE_RUNNER_TEST $TORVANE_RUNNER_KEPT $TORVANE_RUNNER_NEW";

    EXPECT_EQ(sh(script).output, "daemon kept");
    EXPECT_EQ(sh(script, 30s, EnvironmentOverlay{}).output, "daemon kept");
    EXPECT_EQ(
        sh(script, 30s,
           EnvironmentOverlay{{"TORVANE_RUNNER_TEST", "child"}, {"TORVANE_RUNNER_NEW", "new"}})
            .output,
        "child kept new");
    // An overlaid name must appear once, not beside the daemon's value.
    EXPECT_EQ(sh("env | grep -c '^TORVANE_RUNNER_TEST='", 30s,
                 EnvironmentOverlay{{"TORVANE_RUNNER_TEST", "child"}})
                  .output,
              "1");
    ::unsetenv("TORVANE_RUNNER_TEST");
    ::unsetenv("TORVANE_RUNNER_KEPT");
}

TEST(PosixCommandRunner, MissingProgramFailsAtOnce) {
    PosixCommandRunner runner;
    const auto started = Clock::now();
    const auto result = runner.runCommand("/nonexistent/torvane-tool", {"x"}, std::nullopt, 3600s);
    EXPECT_EQ(result.status, -1);
    EXPECT_EQ(result.output,
              "failed to launch /nonexistent/torvane-tool: No such file or directory");
    EXPECT_LT(Clock::now() - started, 60s); // nowhere near the hour-long limit

    const auto notExecutable = runner.runCommand("/etc/hostname", {}, std::nullopt, 3600s);
    EXPECT_EQ(notExecutable.status, -1);
    EXPECT_THAT(notExecutable.output, StartsWith("failed to launch /etc/hostname: "));
}

TEST(PosixCommandRunner, ChildIgnoringTerminationIsKilledAfterGrace) {
    const auto started = Clock::now();
    const auto result = sh("trap '' TERM; echo stubborn; exec sleep 30", 0.3s);
    const auto elapsed = Clock::now() - started;
    EXPECT_EQ(result, (CommandResult{128 + SIGKILL, "stubborn"}));
    EXPECT_GE(elapsed, 1s); // the one-second grace after SIGTERM was given
    EXPECT_LT(elapsed, 25s);
}

TEST(PosixCommandRunner, BlockedSignalsOfTheCallerDoNotReachTheChild) {
    // A daemon thread that blocks SIGTERM (to handle it synchronously) must
    // not hand that mask to its children, or the timeout could not stop them.
    sigset_t term;
    sigemptyset(&term);
    sigaddset(&term, SIGTERM);
    sigset_t previous;
    ASSERT_EQ(pthread_sigmask(SIG_BLOCK, &term, &previous), 0);
    const auto result = sh("exec sleep 30", 0.3s);
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    EXPECT_EQ(result.status, 128 + SIGTERM);
}

TEST(PosixCommandRunner, BackgroundProcessHoldingOutputDelaysUntilTimeout) {
    const auto started = Clock::now();
    // The grandchild keeps the pipe's write end; its pid is the output.
    const auto result = sh("sleep 60 & echo $!", 0.5s);
    const auto elapsed = Clock::now() - started;
    const pid_t grandchild = std::atoi(result.output.c_str());
    ASSERT_GT(grandchild, 1);
    ::kill(grandchild, SIGKILL);

    EXPECT_EQ(result.status, 0); // the shell itself exited normally
    EXPECT_GE(elapsed, 0.5s);
    EXPECT_LT(elapsed, 30s); // but not held for the grandchild's whole life
}

TEST(PosixCommandRunner, ChildThatClosesItsOutputIsStillTimedOut) {
    const auto started = Clock::now();
    const auto result = sh("echo bye; exec >/dev/null 2>&1; exec sleep 60", 0.5s);
    EXPECT_EQ(result, (CommandResult{128 + SIGTERM, "bye"}));
    EXPECT_LT(Clock::now() - started, 30s);
}

TEST(PosixCommandRunner, ChildGetsOnlyStandardDescriptors) {
    // A descriptor the daemon opened without close-on-exec, e.g. a socket.
    const int leaky = ::open("/dev/null", O_RDONLY);
    ASSERT_GE(leaky, 0);
    const auto result = sh("ls /proc/$$/fd; readlink /proc/$$/fd/0");
    ::close(leaky);
    EXPECT_EQ(result, (CommandResult{0, "0\n1\n2\n/dev/null"}));
}

TEST(PosixCommandRunner, ConcurrentCallsKeepTheirOwnOutput) {
    // One slow command running all along: a pipe leaked into its child from
    // another thread's spawn would hold that call until the slow one ends.
    std::thread slow([] { EXPECT_EQ(sh("sleep 2; echo slow").output, "slow"); });
    constexpr int threads = 6;
    constexpr int runs = 15;
    std::atomic<int> mismatches = 0;
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([t, &mismatches] {
            PosixCommandRunner runner;
            for (int i = 0; i < runs; ++i) {
                const std::string word = "w" + std::to_string(t) + "-" + std::to_string(i);
                const auto result = runner.runCommand("/bin/echo", {word}, std::nullopt, 30s);
                if (result != CommandResult{0, word}) {
                    ++mismatches;
                }
            }
        });
    }
    for (auto& worker : workers) {
        worker.join();
    }
    slow.join();
    EXPECT_EQ(mismatches, 0);
}

} // namespace
} // namespace torvane

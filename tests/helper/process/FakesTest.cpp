#include "EngineError.h"
#include "FakeProcessLauncher.h"
#include "RecordingCommandRunner.h"

#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace torvane {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;

const std::string swanctl = "/opt/torvane/Resources/strongswan/sbin/swanctl";

TEST(RecordingCommandRunner, RecordsCallsInOrder) {
    RecordingCommandRunner runner;
    runner.runCommand(swanctl, {"--load-creds", "--uri", "unix:///run/torvane/run/charon.vici"},
                      EnvironmentOverlay{{"SWANCTL_DIR", "/run/torvane/run/swanctl"}}, 30s);
    runner.runCommand("/usr/bin/killall", {"charon"}, std::nullopt, 30s);

    EXPECT_THAT(runner.commandLines(),
                ElementsAre(swanctl + " --load-creds --uri unix:///run/torvane/run/charon.vici",
                            "/usr/bin/killall charon"));
    EXPECT_THAT(runner.commandLinesFor("swanctl"), ElementsAre(runner.commandLines()[0]));
    const auto calls = runner.calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].env, (EnvironmentOverlay{{"SWANCTL_DIR", "/run/torvane/run/swanctl"}}));
    EXPECT_EQ(calls[0].timeout, 30s);
    EXPECT_FALSE(calls[1].env.has_value());
}

TEST(RecordingCommandRunner, AnswersFromQueuedThenStandingRules) {
    RecordingCommandRunner runner;
    runner.setResult("swanctl", {"--list-sas"}, {0, "old"});
    runner.setResult("swanctl", {"--list-sas"}, {0, "standing"});
    runner.setResult(swanctl, {"--initiate", "--child"}, {1, "failed"});
    runner.queueResult("swanctl", {"--list-sas", "--ike"}, {0, "first"});
    runner.queueResult("", {}, {7, "anything once"});

    EXPECT_EQ(runner.runCommand(swanctl, {"--list-sas"}, std::nullopt, 5s),
              (CommandResult{7, "anything once"}));
    EXPECT_EQ(runner.runCommand(swanctl, {"--list-sas"}, std::nullopt, 5s),
              (CommandResult{0, "standing"}));
    EXPECT_EQ(runner.runCommand(swanctl, {"--list-sas", "--ike", "ov-1"}, std::nullopt, 5s),
              (CommandResult{0, "first"}));
    EXPECT_EQ(runner.runCommand(swanctl, {"--list-sas", "--ike", "ov-1"}, std::nullopt, 5s),
              (CommandResult{0, "standing"}));
    EXPECT_EQ(runner.runCommand(swanctl, {"--initiate", "--child", "ov-1"}, std::nullopt, 20s),
              (CommandResult{1, "failed"}));
    // A prefix longer than the call, or another program: no match.
    EXPECT_EQ(runner.runCommand(swanctl, {"--initiate"}, std::nullopt, 20s), (CommandResult{}));
    EXPECT_EQ(runner.runCommand("/x/other-swanctl", {"--list-sas"}, std::nullopt, 5s),
              (CommandResult{}));
}

TEST(RecordingCommandRunner, HookSeesTheCallAndMayAnswer) {
    RecordingCommandRunner runner;
    runner.setResult("ping", {}, {1, ""});
    runner.setHook([&runner](const RecordedCommand& call) -> std::optional<CommandResult> {
        if (call.args.back() == "10.0.0.1") {
            return CommandResult{0, "answered after " + std::to_string(runner.callCount())};
        }
        return std::nullopt;
    });
    EXPECT_EQ(runner.runCommand("/bin/ping", {"-c", "1", "10.0.0.1"}, std::nullopt, 6s).output,
              "answered after 1");
    EXPECT_EQ(runner.runCommand("/bin/ping", {"-c", "1", "10.0.0.2"}, std::nullopt, 6s).status, 1);
}

TEST(RecordingCommandRunner, RecordsFromManyThreads) {
    RecordingCommandRunner runner;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&runner] {
            for (int i = 0; i < 100; ++i) {
                runner.runCommand("/bin/ping", {"x"}, std::nullopt, 6s);
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(runner.callCount(), 400u);
}

TEST(FakeProcessLauncher, TestDrivesTheChild) {
    FakeProcessLauncher launcher;
    std::string seen;
    auto handle = launcher.launch("/x/charon", {}, EnvironmentOverlay{{"STRONGSWAN_CONF", "/s"}},
                                  [&seen](std::string_view chunk) { seen += chunk; });
    auto child = launcher.lastChild();
    ASSERT_TRUE(child);
    EXPECT_EQ(handle->pid(), child->pid());
    EXPECT_EQ(child->env(), (EnvironmentOverlay{{"STRONGSWAN_CONF", "/s"}}));

    EXPECT_TRUE(child->pushOutput("00[DMN] Starting\n"));
    child->setExitsOnTerminate(false);
    handle->terminate();
    EXPECT_TRUE(handle->isRunning());
    handle->kill();
    EXPECT_FALSE(handle->isRunning());
    handle->waitUntilExit();
    EXPECT_EQ(child->exitStatus(), 137);
    EXPECT_EQ(child->terminateCount(), 1);
    EXPECT_EQ(child->killCount(), 1);

    handle->stopReadingOutput();
    EXPECT_FALSE(child->pushOutput("late"));
    EXPECT_EQ(seen, "00[DMN] Starting\n");
    handle.reset();
    EXPECT_TRUE(child->released());
}

TEST(FakeProcessLauncher, FailsOnRequestAndRecordsTheAttempt) {
    FakeProcessLauncher launcher;
    launcher.failNextLaunch("failed to launch /x/charon: Permission denied");
    EXPECT_THROW(launcher.launch("/x/charon", {}, std::nullopt, {}), EngineError);
    auto second = launcher.launch("/x/dnsmasq", {"-k", "-C", "/c"}, std::nullopt, {});
    EXPECT_EQ(launcher.launchCount(), 1u);
    EXPECT_THAT(launcher.commandLines(), ElementsAre("/x/charon", "/x/dnsmasq -k -C /c"));

    std::thread waiter([&] { second->waitUntilExit(); });
    launcher.lastChild()->exit(0);
    waiter.join();
    EXPECT_FALSE(second->isRunning());
}

} // namespace
} // namespace torvane

#include "RecordingCommandRunner.h"

#include <thread>

#include <gtest/gtest.h>

namespace torvane {
namespace {

using namespace std::chrono_literals;

const std::string swanctl = "/opt/torvane/Resources/strongswan/sbin/swanctl";

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

} // namespace
} // namespace torvane

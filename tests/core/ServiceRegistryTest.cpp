#include "Torvane/core/ServiceRegistryCommandRunner.h"
#include "Torvane/core/SystemdServiceRegistry.h"
#include "tests/fakes/core/RecordingServiceCommandRunner.h"

#include <filesystem>
#include <fstream>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace torvane {
namespace {

using ::testing::ElementsAre;
using Command = std::vector<std::string>;

using RecordingRunner = testing::RecordingServiceCommandRunner;

const Command kIsEnabled = {"systemctl", "is-enabled", "torvane-helper.socket"};
const Command kIsActive = {"systemctl", "is-active", "torvane-helper.socket"};
const Command kEnable = {"systemctl", "enable", "--now", "torvane-helper.socket"};
const Command kPkexecEnable = {"pkexec", "systemctl", "enable", "--now", "torvane-helper.socket"};

struct Registry {
    /// Without a control program unless one is named: systemctl directly.
    explicit Registry(bool root, std::string controlProgram = {})
        : runner(std::make_shared<RecordingRunner>()),
          registry(
              runner, [root] { return root; }, std::move(controlProgram)) {}
    std::shared_ptr<RecordingRunner> runner;
    SystemdServiceRegistry registry;
};

TEST(SystemdServiceRegistry, RefusedAuthorizationAwaitsApprovalUntilARegistrationSucceeds) {
    Registry r(false);
    r.runner->answers[kIsEnabled] = {1, "disabled"};
    r.runner->answers[kIsActive] = {3, "inactive"};
    r.runner->answers[kPkexecEnable] = {126, "Error executing command as another user: Request "
                                             "dismissed"};

    const auto error = r.registry.registerDaemon();
    ASSERT_TRUE(error);
    EXPECT_EQ(*error, "authorization to run systemctl enable --now torvane-helper.socket was not "
                      "granted: Error executing command as another user: Request dismissed");
    EXPECT_EQ(r.registry.status(), ServiceStatus::requiresApproval);
    EXPECT_THAT(r.runner->ran, ElementsAre(kIsActive, kIsEnabled, kPkexecEnable, kIsEnabled));

    r.runner->answers[kPkexecEnable] = {0, ""};
    EXPECT_FALSE(r.registry.registerDaemon());
    EXPECT_EQ(r.registry.status(), ServiceStatus::notRegistered);

    // Enabled and listening: nothing to authorize.
    r.runner->answers[kIsEnabled] = {0, "enabled"};
    r.runner->answers[kIsActive] = {0, "active"};
    r.runner->ran.clear();
    EXPECT_FALSE(r.registry.registerDaemon());
    EXPECT_THAT(r.runner->ran, ElementsAre(kIsActive, kIsEnabled));
}

TEST(SystemdServiceRegistry, RootRunsSystemctlItselfAndReportsFailures) {
    Registry r(true);
    r.runner->answers[kIsEnabled] = {1, "not-found"};
    r.runner->answers[kEnable] = {1, "Failed to enable unit: Unit file torvane-helper.socket does "
                                     "not exist.\nmore"};
    EXPECT_EQ(r.registry.registerDaemon(),
              "systemctl enable --now torvane-helper.socket failed (exit status 1): Failed to "
              "enable unit: Unit file torvane-helper.socket does not exist.");
    EXPECT_EQ(r.registry.status(), ServiceStatus::notFound);

    EXPECT_FALSE(r.registry.unregister());
    EXPECT_EQ(r.runner->ran.back(), (Command{"systemctl", "disable", "--now",
                                             "torvane-helper.socket", "torvane-helper.service"}));
}

TEST(SystemdServiceRegistry, StatusAndProcessIdFromSystemctlOutput) {
    Registry r(false);
    const std::vector<std::pair<ServiceCommandResult, ServiceStatus>> cases = {
        {{0, "enabled"}, ServiceStatus::enabled},
        {{0, "enabled-runtime"}, ServiceStatus::enabled},
        {{1, "disabled"}, ServiceStatus::notRegistered},
        {{1, "masked"}, ServiceStatus::notRegistered},
        {{1, "Failed to get unit file state for torvane-helper.socket: No such file or directory"},
         ServiceStatus::notFound},
        {{127, "systemctl: No such file or directory"}, ServiceStatus::notFound},
    };
    for (const auto& [answer, expected] : cases) {
        r.runner->answers[kIsEnabled] = answer;
        EXPECT_EQ(r.registry.status(), expected) << answer.output;
    }

    const Command show = {"systemctl", "show", "--property=MainPID", "--value",
                          "torvane-helper.service"};
    r.runner->answers[show] = {0, "4242"};
    EXPECT_EQ(r.registry.daemonProcessId(), 4242);
    r.runner->answers[show] = {0, "0"};
    EXPECT_EQ(r.registry.daemonProcessId(), 0);
    r.runner->answers[show] = {0, "-3"};
    EXPECT_EQ(r.registry.daemonProcessId(), std::nullopt);
    r.runner->answers[show] = {1, ""};
    EXPECT_EQ(r.registry.daemonProcessId(), std::nullopt);

    EXPECT_EQ(describe(static_cast<ServiceStatus>(7)), "unknown(7)");
}

TEST(SystemdServiceRegistry, InstalledControlProgramIsWhatPkexecRuns) {
    // Never run here: any root-owned program stands in for it.
    const std::string control = "/bin/sh";
    Registry r(false, control);
    r.runner->answers[kIsEnabled] = {1, "disabled"};
    const Command enable = {"pkexec", control, "enable"};

    // Refused or dismissed, the daemon waits for approval either way.
    for (const int refusal : {126, 127}) {
        r.runner->answers[enable] = {refusal, ""};
        EXPECT_EQ(r.registry.registerDaemon(),
                  "authorization to run " + control + " enable was not granted");
        EXPECT_EQ(r.registry.status(), ServiceStatus::requiresApproval);
    }
    // The control program's own failure is a failure, not a refusal.
    r.runner->answers[enable] = {1, "Failed to enable unit: Access denied"};
    EXPECT_EQ(r.registry.registerDaemon(), control +
                                               " enable failed (exit status 1): Failed to enable "
                                               "unit: Access denied");
    EXPECT_EQ(r.registry.status(), ServiceStatus::notRegistered);

    EXPECT_FALSE(r.registry.unregister());
    EXPECT_EQ(r.runner->ran.back(), (Command{"pkexec", control, "disable"}));

    Registry root(true, control);
    EXPECT_FALSE(root.registry.unregister());
    EXPECT_EQ(root.runner->ran.back(), (Command{control, "disable"}));

    // One that cannot be run, or that another user could rewrite, is not
    // used: systemctl it is.
    const auto writable = std::filesystem::temp_directory_path() /
                          ("torvane-helper-control-" + std::to_string(::getpid()));
    std::ofstream(writable) << "#!/bin/sh\n";
    std::filesystem::permissions(writable, std::filesystem::perms(0775));
    for (const std::string& unusable : {std::string("/etc/passwd"), writable.string()}) {
        Registry other(false, unusable);
        EXPECT_FALSE(other.registry.unregister());
        EXPECT_EQ(other.runner->ran.back(),
                  (Command{"pkexec", "systemctl", "disable", "--now", "torvane-helper.socket",
                           "torvane-helper.service"}))
            << unusable;
    }
    std::filesystem::remove(writable);
}

TEST(SystemServiceCommandRunner, MergesOutputAndReportsExitStatus) {
    SystemServiceCommandRunner runner(1);
    EXPECT_EQ(runner.run({"sh", "-c", "echo out; echo err >&2; exit 3"}),
              (ServiceCommandResult{3, "out\nerr"}));
    EXPECT_EQ(runner.run({"/nonexistent/systemctl"}).exitStatus, 127);
    EXPECT_EQ(runner.run({"sh", "-c", "echo started; exec sleep 30"}),
              (ServiceCommandResult{124, "started"}));
}

} // namespace
} // namespace torvane

#include "helper/platform/linux/ProcessTable.h"

#include "helper/platform/linux/LinuxOwnProcesses.h"

#include <csignal>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace torvane {
namespace {

TEST(ProcessTableTest, CountsFieldsFromTheLastParenthesisOfTheName) {
    // A program may name itself anything, parentheses and digits included.
    const std::string fields = " S 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 424242 19 20";
    EXPECT_EQ(parseProcessStartTime("77 (charon)" + fields), 424242u);
    EXPECT_EQ(parseProcessStartTime("77 (a) S 9 9 (b) 1 2)" + fields), 424242u);
    EXPECT_EQ(parseProcessStartTime("77 (charon) S 1 2 3"), std::nullopt);
    EXPECT_EQ(parseProcessStartTime("77 charon S 1 2 3"), std::nullopt);
    EXPECT_EQ(parseProcessStartTime("77 (x)" + std::string(" S 1 2 3 4 5 6 7 8 9 10 11 12 13 "
                                                           "14 15 16 17 18 -5 19")),
              std::nullopt);
}

TEST(ProcessTableTest, FindsTheGroupSystemdTracksAProcessIn) {
    EXPECT_EQ(serviceGroupOf("0::/system.slice/torvane-helper.service\n"),
              "/system.slice/torvane-helper.service");
    // Hybrid: the unified hierarchy mirrors systemd's own.
    EXPECT_EQ(serviceGroupOf("1:name=systemd:/system.slice/torvane-helper.service\n"
                             "0::/system.slice/torvane-helper.service\n"),
              "/system.slice/torvane-helper.service");
    // Legacy: the unified hierarchy is unused.
    EXPECT_EQ(serviceGroupOf("4:memory:/x\n1:name=systemd:/system.slice/a.service\n0::/\n"),
              "/system.slice/a.service");
    EXPECT_EQ(serviceGroupOf("4:memory:/x\n"), "");
}

TEST(ProcessTableTest, EndsOnlyTheProcessItsIdentityNames) {
    pid_t child = 0;
    char program[] = "sleep";
    char seconds[] = "30";
    char* argv[] = {program, seconds, nullptr};
    ASSERT_EQ(::posix_spawnp(&child, "sleep", nullptr, nullptr, argv, environ), 0);
    const auto identity = readProcessIdentity(child);
    ASSERT_TRUE(identity);

    LinuxOwnProcesses processes("torvane-helper.service", std::chrono::milliseconds(500));
    auto other = *identity;
    other.startTime += 1;
    EXPECT_TRUE(processes.end({other}).empty()) << "same pid, started at another time";
    other = *identity;
    other.executable = "/usr/sbin/dnsmasq";
    EXPECT_TRUE(processes.end({other}).empty()) << "same pid and time, another program";
    EXPECT_EQ(::waitpid(child, nullptr, WNOHANG), 0) << "still running";

    other = *identity;
    other.executable += " (deleted)";
    EXPECT_EQ(processes.end({other}), std::vector{*identity}) << "replaced on disk since";
    int status = 0;
    EXPECT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);

    // Run by hand, the daemon's group is not its own service's.
    EXPECT_TRUE(processes.leftoversInOwnGroup(std::nullopt).empty());
}

} // namespace
} // namespace torvane

// The proxy with the real dnsmasq, answering on 127.0.0.1:53. Runs only
// inside the network namespace that tests/netns/proxy6_netns.sh creates,
// whose resolv.conf points at 127.0.0.1; skipped anywhere else.
#include "helper/network/DnsProxy.h"
#include "helper/process/EngineError.h"
#include "helper/process/PosixProcessLauncher.h"
#include "shared/process/PosixCommandRunner.h"
#include "tests/fakes/FakeFirewall.h"
#include "tests/fakes/FakeIpv6Control.h"
#include "tests/fakes/FakeRoutes.h"

#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <thread>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace torvane;
using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {} // namespace

TEST(DnsProxyInNamespaceTest, RealProxyAnswersFromItsConfigurationAndStops) {
    const char* ns = std::getenv("TORVANE_TEST_NETNS");
    const char* helperDir = std::getenv("TORVANE_TEST_HELPER_DIR");
    if (!ns || !helperDir) {
        GTEST_SKIP() << "runs inside the namespace tests/netns/proxy6_netns.sh creates";
    }
    const auto root =
        std::filesystem::temp_directory_path() / ("tvp-dnsproxy-ns-" + std::to_string(::getpid()));
    std::filesystem::create_directories(root);

    PosixCommandRunner runner;
    PosixProcessLauncher launcher;
    SystemClock clock;
    FakeFirewall firewall;
    FakeIpv6Control ipv6;
    BundleLocator locator(std::string(helperDir) + "/torvane-helper");
    std::mutex linesLock;
    std::vector<std::string> log;
    std::vector<std::string> appLog;
    FakeRoutes routes;
    NetworkContext context{runner,
                           routes,
                           firewall,
                           ipv6,
                           locator,
                           root.string(),
                           [&](const std::string& line) {
                               std::lock_guard lock(linesLock);
                               log.push_back(line);
                           },
                           [&](const std::string& line) {
                               std::lock_guard lock(linesLock);
                               appLog.push_back(line);
                           }};
    DnsProxy proxy(context, launcher, clock);

    VPNProfile profile;
    profile.dnsmasqEnabled = true;
    profile.dnsmasqConfig = "listen-address=127.0.0.1\nbind-interfaces\nport=53\nno-hosts\n"
                            "no-resolv\naddress=/test.example/192.0.2.1\n";
    proxy.startDnsmasq(profile, {});
    ASSERT_TRUE(proxy.isRunning());

    const auto answer = runner.runCommand("/usr/bin/getent", {"hosts", "test.example"},
                                          std::nullopt, std::chrono::seconds(10));
    EXPECT_EQ(answer.status, 0) << answer.output;
    EXPECT_THAT(answer.output, HasSubstr("192.0.2.1"));

    // A second proxy finds the port taken and dies during its wait.
    DnsProxy second(context, launcher, clock);
    try {
        second.startDnsmasq(profile, {});
        ADD_FAILURE() << "a second proxy started on a taken port";
    } catch (const EngineError& error) {
        EXPECT_THAT(error.message(), HasSubstr("dnsmasq exited (status "));
        EXPECT_THAT(error.message(), Not(HasSubstr("status -1")));
    }
    {
        std::lock_guard lock(linesLock);
        EXPECT_THAT(log, Contains(HasSubstr("[dnsmasq] ")));
    }
    EXPECT_FALSE(second.isRunning());

    proxy.stopDnsmasq();
    EXPECT_FALSE(proxy.isRunning());
    const auto afterStop = runner.runCommand("/usr/bin/getent", {"hosts", "test.example"},
                                             std::nullopt, std::chrono::seconds(30));
    EXPECT_NE(afterStop.status, 0);
    {
        std::lock_guard lock(linesLock);
        EXPECT_EQ(log.back(), "dnsmasq stopped");
    }
    std::filesystem::remove_all(root);
}

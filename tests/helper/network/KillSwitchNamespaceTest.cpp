// The kill switch driving the real pfctl tool of the build tree through the
// real command runner, against the nftables of a network namespace of its
// own:
//
//   tvk-k<pid>
//   +-------------------------------+
//   | lo up                         |
//   | tvk-tun0 (TUN) 10.99.0.1/32   |  <- the tunnel device
//   | table inet tvk_other          |  <- someone else's, left alone
//   +-------------------------------+
//
// No packet is sent; the namespace-wide checks of what the rules let
// through are in tests/netns/killswitch_netns.sh.
#include "KillSwitch.h"
#include "NamespaceSupport.h"
#include "PosixCommandRunner.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <stdlib.h>
#include <string>
#include <unistd.h>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace torvane {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

using test::firstProgram;
using test::helperDirectory;

class KillSwitchNamespaceTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (geteuid() != 0) {
            GTEST_SKIP() << "needs root to create network namespaces";
        }
        m_ip = test::ipProgram();
        m_nft = firstProgram({"/usr/sbin/nft", "/sbin/nft", "/usr/bin/nft"});
        if (!m_ip || !m_nft || access("/dev/net/tun", R_OK | W_OK) != 0) {
            GTEST_SKIP() << "needs iproute2, nft and /dev/net/tun";
        }
        m_locator.emplace(helperDirectory() + "/torvane-helper");
        if (!isExecutableFile(m_locator->tool("pfctl"))) {
            GTEST_SKIP() << "pfctl tool not built at " << m_locator->tool("pfctl");
        }
        char pattern[] = "/tmp/tvk-ksns-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_work = pattern;
        // The tool inherits the test's environment: keep its tokens here.
        setenv("TORVANE_PFCTL_TOKEN_DIR", (m_work + "/tokens").c_str(), 1);
        m_context = std::make_unique<NetworkContext>(
            NetworkContext{m_runner, *m_locator, m_work + "/run",
                           [this](const std::string& line) { m_logs.push_back(line); },
                           [](const std::string&) {
                           }});
        m_killSwitch = std::make_unique<KillSwitch>(*m_context);

        m_namespace = "tvk-k" + std::to_string(getpid());
        run(*m_ip, {"netns", "add", m_namespace});
        run(*m_ip, {"-n", m_namespace, "link", "set", "lo", "up"});
        run(*m_ip, {"-n", m_namespace, "tuntap", "add", "dev", "tvk-tun0", "mode", "tun"});
        run(*m_ip, {"-n", m_namespace, "addr", "add", "10.99.0.1/32", "dev", "tvk-tun0"});
        nft({"add", "table", "inet", "tvk_other"});
        nft({"add", "chain", "inet", "tvk_other", "out",
             "{ type filter hook output priority 10; }"});
    }

    void TearDown() override {
        if (!m_namespace.empty()) {
            m_runner.runCommand(*m_ip, {"netns", "del", m_namespace}, std::nullopt,
                                std::chrono::seconds(10));
        }
        unsetenv("TORVANE_PFCTL_TOKEN_DIR");
        if (!m_work.empty()) {
            std::filesystem::remove_all(m_work);
        }
    }

    std::string run(const std::string& program, const std::vector<std::string>& args) {
        const auto result =
            m_runner.runCommand(program, args, std::nullopt, std::chrono::seconds(10));
        EXPECT_EQ(result.status, 0) << program << " failed: " << result.output;
        return result.output;
    }
    std::string nft(std::vector<std::string> args) {
        args.insert(args.begin(), {"netns", "exec", m_namespace, *m_nft});
        return run(*m_ip, args);
    }
    std::string ruleset() { return nft({"-s", "list", "ruleset"}); }

    void inNamespace(const std::function<void()>& work) { test::inNamespace(m_namespace, work); }

    Tunnel& tunnel(bool killSwitch, const std::string& remoteAddr) {
        VPNProfile profile;
        profile.killSwitchEnabled = killSwitch;
        profile.remoteAddr = remoteAddr;
        m_owned.push_back(std::make_unique<Tunnel>(profile));
        m_tunnels.push_back(m_owned.back().get());
        return *m_owned.back();
    }

    PosixCommandRunner m_runner;
    std::optional<std::string> m_ip;
    std::optional<std::string> m_nft;
    std::optional<BundleLocator> m_locator;
    std::string m_work;
    std::string m_namespace;
    std::unique_ptr<NetworkContext> m_context;
    std::unique_ptr<KillSwitch> m_killSwitch;
    std::vector<std::unique_ptr<Tunnel>> m_owned;
    std::vector<Tunnel*> m_tunnels;
    std::vector<std::string> m_logs;
};

TEST_F(KillSwitchNamespaceTest, RealToolLoadsFollowsTunnelsRefusesBadNamesAndReleases) {
    const std::string before = ruleset();

    Tunnel& up = tunnel(true, "vpn.example.net");
    up.tun = "tvk-tun0";
    up.remoteIP = "192.0.2.10";
    tunnel(false, "198.51.100.7");
    inNamespace([&] { m_killSwitch->reconcileKillSwitch(m_tunnels); });

    ASSERT_TRUE(m_killSwitch->isLoaded()) << ::testing::PrintToString(m_logs);
    ASSERT_TRUE(m_killSwitch->pfToken().has_value());
    EXPECT_TRUE(std::filesystem::exists(m_work + "/tokens/" + *m_killSwitch->pfToken()));
    std::string loaded = nft({"list", "table", "inet", "torvane_killswitch"});
    EXPECT_THAT(loaded, HasSubstr("policy drop;"));
    EXPECT_THAT(loaded, HasSubstr("oifname \"lo\""));
    EXPECT_THAT(loaded, HasSubstr("oifname \"tvk-tun0\""));
    EXPECT_THAT(loaded, HasSubstr("ip daddr 192.0.2.10 udp dport { 500, 4500 }"));
    EXPECT_THAT(loaded, HasSubstr("ip daddr 198.51.100.7 meta l4proto esp"));

    // A tunnel whose device name the kernel could never carry: the load
    // fails as a whole and the rules in force stay exactly as they were.
    const std::string inForce = ruleset();
    Tunnel& odd = tunnel(true, "192.0.2.30");
    odd.tun = "tvk-name-too-long0";
    inNamespace([&] { m_killSwitch->reconcileKillSwitch(m_tunnels); });
    EXPECT_EQ(ruleset(), inForce);
    EXPECT_EQ(odd.message, "Kill switch failed to engage — see log");
    EXPECT_THAT(m_logs.back(), HasSubstr("kill switch: pfctl load FAILED (exit 1): "));
    EXPECT_TRUE(m_killSwitch->isLoaded());

    // The tunnel with the device stops; the pass rules follow.
    m_tunnels = {m_tunnels[1]};
    tunnel(true, "");
    inNamespace([&] { m_killSwitch->reconcileKillSwitch(m_tunnels); });
    loaded = nft({"list", "table", "inet", "torvane_killswitch"});
    EXPECT_THAT(loaded, Not(HasSubstr("192.0.2.10")));
    EXPECT_THAT(loaded, Not(HasSubstr("tvk-tun0")));
    EXPECT_THAT(loaded, HasSubstr("198.51.100.7"));

    const std::string token = *m_killSwitch->pfToken();
    inNamespace([&] { m_killSwitch->deactivateKillSwitch(); });
    EXPECT_EQ(ruleset(), before);
    EXPECT_FALSE(std::filesystem::exists(m_work + "/tokens/" + token));
    EXPECT_EQ(m_logs.back(), "kill switch disengaged");
}

} // namespace
} // namespace torvane

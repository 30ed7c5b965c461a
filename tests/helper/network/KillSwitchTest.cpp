#include "KillSwitch.h"

#include "FakeRoutes.h"
#include "RecordingCommandRunner.h"

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdlib.h>
#include <sys/stat.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace torvane {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr const char* kPfctl = "/opt/torvane/tools/pfctl";
constexpr const char* kLoad = "/opt/torvane/tools/pfctl -a com.apple/250.TorvaneKillSwitch -f ";
constexpr const char* kFlush = "/opt/torvane/tools/pfctl -a com.apple/250.TorvaneKillSwitch -F all";
constexpr const char* kEngaged = "kill switch ENGAGED (pf anchor com.apple/250.TorvaneKillSwitch)";

class KillSwitchTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/tvk-killswitch-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        m_base = pattern;
        m_context = std::make_unique<NetworkContext>(
            NetworkContext{m_runner, m_routes, m_locator, m_base + "/run",
                           [this](const std::string& line) { m_logs.push_back(line); },
                           [](const std::string&) {
                           }});
        m_killSwitch = std::make_unique<KillSwitch>(*m_context);
    }
    void TearDown() override { std::filesystem::remove_all(m_base); }

    Tunnel& addTunnel(bool killSwitch, std::string remoteAddr) {
        VPNProfile profile;
        profile.killSwitchEnabled = killSwitch;
        profile.remoteAddr = std::move(remoteAddr);
        m_owned.push_back(std::make_unique<Tunnel>(profile));
        m_tunnels.push_back(m_owned.back().get());
        return *m_owned.back();
    }

    std::string rulesetOnDisk() const {
        std::ifstream in(m_killSwitch->rulesetPath());
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    void reconcile() { m_killSwitch->reconcileKillSwitch(m_tunnels); }

    std::string m_base;
    RecordingCommandRunner m_runner;
    FakeRoutes m_routes;
    BundleLocator m_locator{"/opt/torvane/torvane-helper"};
    std::unique_ptr<NetworkContext> m_context;
    std::unique_ptr<KillSwitch> m_killSwitch;
    std::vector<std::unique_ptr<Tunnel>> m_owned;
    std::vector<Tunnel*> m_tunnels;
    std::vector<std::string> m_logs;
};

TEST_F(KillSwitchTest, RulesetPassesEveryTunnelsInterfaceAndGatewayInListOrder) {
    Tunnel& up = addTunnel(true, "vpn.example.net");
    up.tun = "utun5";
    up.remoteIP = "203.0.113.10";
    addTunnel(false, "198.51.100.7"); // not up yet: gateway from the profile
    addTunnel(false, "");             // nothing known: no line
    Tunnel& other = addTunnel(false, "192.0.2.1");
    other.tun = "ipsec0";

    reconcile();

    EXPECT_EQ(rulesetOnDisk(),
              "pass out quick on lo0 all\n"
              "pass out quick on utun5 all\n"
              "pass out quick proto udp from any to 203.0.113.10 port {500, 4500}\n"
              "pass out quick proto esp from any to 203.0.113.10\n"
              "pass out quick proto udp from any to 198.51.100.7 port {500, 4500}\n"
              "pass out quick proto esp from any to 198.51.100.7\n"
              "pass out quick on ipsec0 all\n"
              "pass out quick proto udp from any to 192.0.2.1 port {500, 4500}\n"
              "pass out quick proto esp from any to 192.0.2.1\n"
              "pass out quick proto udp from any port 68 to any port 67\n"
              "block drop out quick all\n");
    struct stat info {};
    ASSERT_EQ(::stat(m_killSwitch->rulesetPath().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
    EXPECT_EQ(m_killSwitch->rulesetPath(), m_base + "/run/killswitch.pf.conf");
}

TEST_F(KillSwitchTest, GatewayOrInterfaceTextCannotAddRules) {
    Tunnel& forged = addTunnel(true, "203.0.113.10 port {500, 4500}\npass out quick on eth0 all");
    forged.tun = "ipsec0 all\npass out quick on eth0";
    addTunnel(false, " 192.0.2.1");

    reconcile();

    EXPECT_EQ(rulesetOnDisk(), "pass out quick on lo0 all\n"
                               "pass out quick proto udp from any port 68 to any port 67\n"
                               "block drop out quick all\n");
}

TEST_F(KillSwitchTest, EngagesOnceTakesTheTokenAndReleasesItOnTheLastKillSwitchTunnel) {
    m_runner.setResult(kPfctl, {"-E"}, {0, "pf enabled\nToken : \t 18446744073709551 \nx"});
    addTunnel(true, "203.0.113.10");
    Tunnel& plain = addTunnel(false, "192.0.2.1");

    reconcile();
    reconcile(); // a reload while loaded: no new token, no new log line
    const std::string load = kLoad + m_killSwitch->rulesetPath();
    EXPECT_THAT(m_runner.commandLines(), ElementsAre(load, "/opt/torvane/tools/pfctl -E", load));
    EXPECT_TRUE(m_killSwitch->isLoaded());
    EXPECT_EQ(m_killSwitch->pfToken(), "18446744073709551");
    EXPECT_THAT(m_logs, ElementsAre(kEngaged));

    m_runner.clearCalls();
    m_tunnels = {&plain}; // the kill-switch tunnel stopped, another remains
    reconcile();
    reconcile();
    EXPECT_THAT(m_runner.commandLines(),
                ElementsAre(kFlush, "/opt/torvane/tools/pfctl -X 18446744073709551"));
    EXPECT_THAT(m_logs, ElementsAre(kEngaged, "kill switch disengaged"));
    EXPECT_FALSE(m_killSwitch->isLoaded());
    EXPECT_FALSE(m_killSwitch->pfToken().has_value());
}

TEST_F(KillSwitchTest, EnableWithoutTokenIsLoggedAndLaterOnlyTheAnchorIsFlushed) {
    // A marker without a number is no token either.
    m_runner.setResult(kPfctl, {"-E"}, {1, "pfctl: pf already enabled\nToken : \t\nx"});
    addTunnel(true, "203.0.113.10");

    reconcile();
    EXPECT_TRUE(m_killSwitch->isLoaded());
    EXPECT_THAT(m_logs,
                ElementsAre("kill switch: could not parse pf enable token (output: pfctl: pf "
                            "already enabled\nToken : \t\nx) — pf may already be enabled",
                            kEngaged));

    m_runner.clearCalls();
    reconcile(); // still no token: asks again
    EXPECT_EQ(m_runner.commandLines().at(1), "/opt/torvane/tools/pfctl -E");

    m_runner.clearCalls();
    m_killSwitch->deactivateKillSwitch();
    EXPECT_THAT(m_runner.commandLines(), ElementsAre(kFlush));
}

TEST_F(KillSwitchTest, FailedLoadMarksKillSwitchTunnelsAndKeepsTheEarlierState) {
    m_runner.setResult(kPfctl, {"-E"}, {0, "Token : 42"});
    Tunnel& guarded = addTunnel(true, "203.0.113.10");
    Tunnel& plain = addTunnel(false, "192.0.2.1");
    reconcile();
    m_logs.clear();

    m_runner.queueResult(kPfctl, {"-a"}, {1, "pfctl: rulesets.conf: line 2: bad interface name"});
    reconcile();
    EXPECT_THAT(m_logs,
                ElementsAre("kill switch: pfctl load FAILED (exit 1): pfctl: rulesets.conf: "
                            "line 2: bad interface name"));
    EXPECT_EQ(guarded.message, "Kill switch failed to engage — see log");
    EXPECT_FALSE(plain.message.has_value());
    EXPECT_TRUE(m_killSwitch->isLoaded());
    EXPECT_EQ(m_killSwitch->pfToken(), "42");
}

TEST_F(KillSwitchTest, FirstLoadFailingLeavesNothingToRelease) {
    m_runner.setResult(kPfctl, {"-a"},
                       {-1, "failed to launch /opt/torvane/tools/pfctl: No such file"});
    addTunnel(true, "203.0.113.10");
    reconcile();
    EXPECT_EQ(m_runner.callCount(), 1u);
    EXPECT_FALSE(m_killSwitch->isLoaded());

    m_runner.clearCalls();
    m_killSwitch->deactivateKillSwitch();
    EXPECT_EQ(m_runner.callCount(), 0u);
    EXPECT_THAT(m_logs, ElementsAre("kill switch: pfctl load FAILED (exit -1): failed to launch "
                                    "/opt/torvane/tools/pfctl: No such file"));
}

TEST_F(KillSwitchTest, UnwritableStagingRootLoadsNothing) {
    // A file where the staging folder should be.
    std::ofstream(m_base + "/run") << "x";
    addTunnel(true, "203.0.113.10");
    reconcile();
    EXPECT_EQ(m_runner.callCount(), 0u);
    EXPECT_FALSE(m_killSwitch->isLoaded());
    ASSERT_EQ(m_logs.size(), 1u);
    EXPECT_THAT(m_logs[0], ::testing::StartsWith("kill switch: failed to write ruleset: "));
}

TEST_F(KillSwitchTest, WithoutKillSwitchTunnelsNothingRuns) {
    addTunnel(false, "203.0.113.10");
    reconcile();
    m_killSwitch->deactivateKillSwitch();
    EXPECT_EQ(m_runner.callCount(), 0u);
    EXPECT_THAT(m_logs, IsEmpty());
    EXPECT_FALSE(std::filesystem::exists(m_killSwitch->rulesetPath()));
}

} // namespace
} // namespace torvane

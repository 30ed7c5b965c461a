#include "KillSwitch.h"

#include "FakeFirewall.h"
#include "FakeIpv6Control.h"
#include "FakeRoutes.h"
#include "RecordingCommandRunner.h"

#include <memory>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace torvane {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using Call = FakeFirewall::Call;

constexpr const char* kEngaged = "kill switch ENGAGED (firewall table inet torvane_killswitch)";

class KillSwitchTest : public ::testing::Test {
protected:
    Tunnel& addTunnel(bool killSwitch, std::string remoteAddr) {
        VPNProfile profile;
        profile.killSwitchEnabled = killSwitch;
        profile.remoteAddr = std::move(remoteAddr);
        m_owned.push_back(std::make_unique<Tunnel>(profile));
        m_tunnels.push_back(m_owned.back().get());
        return *m_owned.back();
    }

    void reconcile() { m_killSwitch.reconcileKillSwitch(m_tunnels); }

    RecordingCommandRunner m_runner;
    FakeRoutes m_routes;
    FakeFirewall m_firewall;
    FakeIpv6Control m_ipv6;
    BundleLocator m_locator{"/opt/torvane/torvane-helper"};
    std::vector<std::string> m_logs;
    NetworkContext m_context{m_runner,
                             m_routes,
                             m_firewall,
                             m_ipv6,
                             m_locator,
                             "/run/torvane/run",
                             [this](const std::string& line) { m_logs.push_back(line); },
                             [](const std::string&) {
                             }};
    KillSwitch m_killSwitch{m_context};
    std::vector<std::unique_ptr<Tunnel>> m_owned;
    std::vector<Tunnel*> m_tunnels;
};

TEST_F(KillSwitchTest, PolicyPassesEveryTunnelsInterfaceAndGatewayAndNothingMalformed) {
    Tunnel& up = addTunnel(true, "vpn.example.net");
    up.tun = "ipsec0";
    up.remoteIP = "203.0.113.10";
    addTunnel(false, "198.51.100.7"); // not up yet: gateway from the profile
    addTunnel(false, "");             // nothing known: nothing passed
    Tunnel& other = addTunnel(false, "192.0.2.1");
    other.tun = "ipsec1";
    // Text that is no name or address is left out: its traffic stays blocked.
    Tunnel& forged = addTunnel(false, "203.0.113.10 port {500, 4500}\nudp");
    forged.tun = "ipsec0\" accept";
    addTunnel(false, " 192.0.2.9");

    reconcile();

    EXPECT_THAT(m_firewall.calls(),
                ElementsAre(Call::applied(
                    {{"ipsec0", "ipsec1"}, {"203.0.113.10", "198.51.100.7", "192.0.2.1"}})));
    EXPECT_EQ(
        KillSwitch::policyFor(m_tunnels, {{"ID", "198.51.100.7"}, {"ID2", "192.0.2.77"}}).gateways,
        (std::vector<std::string>{"203.0.113.10", "198.51.100.7", "192.0.2.1", "192.0.2.77"}))
        << "a held profile's gateway is passed once";
}

TEST_F(KillSwitchTest, EngagesOnceKeepsTheLatestHandleAndReleasesOnTheLastKillSwitchTunnel) {
    m_firewall.setNextHandle(42);
    addTunnel(true, "203.0.113.10");
    Tunnel& plain = addTunnel(false, "192.0.2.1");

    reconcile();
    reconcile(); // a new table while engaged: no new log line
    EXPECT_EQ(m_firewall.calls().size(), 2u);
    EXPECT_TRUE(m_killSwitch.isLoaded());
    EXPECT_EQ(m_killSwitch.tableHandle(), 43u);
    EXPECT_THAT(m_logs, ElementsAre(kEngaged));

    m_firewall.clearCalls();
    m_tunnels = {&plain}; // the kill-switch tunnel stopped, another remains
    reconcile();
    reconcile();
    EXPECT_THAT(m_firewall.calls(), ElementsAre(Call::released()));
    EXPECT_THAT(m_logs, ElementsAre(kEngaged, "kill switch disengaged"));
    EXPECT_FALSE(m_killSwitch.isLoaded());
    EXPECT_FALSE(m_killSwitch.tableHandle().has_value());
}

TEST_F(KillSwitchTest, ATableWithoutHandleIsLoggedAndStillReleased) {
    m_firewall.withholdHandles("add table inet torvane_killswitch");
    addTunnel(true, "203.0.113.10");

    reconcile();
    EXPECT_TRUE(m_killSwitch.isLoaded());
    EXPECT_THAT(m_logs, ElementsAre("kill switch: could not parse nftables enable token (output: "
                                    "add table inet torvane_killswitch) — nftables may already be "
                                    "enabled",
                                    kEngaged));

    m_firewall.clearCalls();
    m_killSwitch.deactivateKillSwitch();
    EXPECT_THAT(m_firewall.calls(), ElementsAre(Call::released()));
}

TEST_F(KillSwitchTest, AFailedApplyMarksKillSwitchTunnelsAndKeepsTheEarlierTable) {
    Tunnel& guarded = addTunnel(true, "203.0.113.10");
    Tunnel& plain = addTunnel(false, "192.0.2.1");
    reconcile();
    const auto before = m_firewall.inForce();
    m_logs.clear();

    m_firewall.failApplies(
        FirewallError{1, "cannot resolve vpn.invalid: Name or service not known"});
    plain.tun = "ipsec0";
    reconcile();
    EXPECT_THAT(m_logs, ElementsAre("kill switch: nftables load FAILED (exit 1): cannot resolve "
                                    "vpn.invalid: Name or service not known"));
    EXPECT_EQ(guarded.message, "Kill switch failed to engage — see log");
    EXPECT_FALSE(plain.message.has_value());
    EXPECT_TRUE(m_killSwitch.isLoaded());
    EXPECT_EQ(m_firewall.inForce(), before);
}

TEST_F(KillSwitchTest, AFirstApplyFailingLeavesNothingToRelease) {
    m_firewall.failApplies(FirewallError{1, "nftables refused the rules: Error: no such file"});
    addTunnel(true, "203.0.113.10");
    reconcile();
    EXPECT_FALSE(m_killSwitch.isLoaded());

    m_firewall.clearCalls();
    m_killSwitch.deactivateKillSwitch();
    EXPECT_THAT(m_firewall.calls(), IsEmpty());
}

TEST_F(KillSwitchTest, WithoutKillSwitchTunnelsNothingIsApplied) {
    addTunnel(false, "203.0.113.10");
    reconcile();
    m_killSwitch.deactivateKillSwitch();
    EXPECT_THAT(m_firewall.calls(), IsEmpty());
    EXPECT_THAT(m_logs, IsEmpty());
}

} // namespace
} // namespace torvane

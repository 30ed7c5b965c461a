#include "helper/network/KillSwitch.h"

#include "tests/helper/network/NetworkFakes.h"

#include <memory>
#include <optional>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace torvane {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using Call = FakeFirewall::Call;

constexpr const char* kEngaged = "kill switch ENGAGED (firewall table inet torvane_killswitch)";

class KillSwitchTest : public ::testing::Test, protected NetworkFakes {
protected:
    Tunnel& addTunnel(bool killSwitch, std::string remoteAddr,
                      std::optional<Uuid> id = std::nullopt) {
        VPNProfile profile;
        if (id) {
            profile.id = *id;
        }
        profile.killSwitchEnabled = killSwitch;
        profile.remoteAddr = std::move(remoteAddr);
        m_owned.push_back(std::make_unique<Tunnel>(profile));
        m_tunnels.push_back(m_owned.back().get());
        return *m_owned.back();
    }

    void reconcile() { m_killSwitch.reconcileKillSwitch(m_tunnels); }

    KillSwitch m_killSwitch{context};
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

    EXPECT_THAT(firewall.calls(),
                ElementsAre(Call::applied(
                    {{"ipsec0", "ipsec1"}, {"203.0.113.10", "198.51.100.7", "192.0.2.1"}})));
    EXPECT_EQ(
        KillSwitch::policyFor(m_tunnels, {{"ID", "198.51.100.7"}, {"ID2", "192.0.2.77"}}).gateways,
        (std::vector<std::string>{"203.0.113.10", "198.51.100.7", "192.0.2.1", "192.0.2.77"}))
        << "a held profile's gateway is passed once";
}

TEST_F(KillSwitchTest, EngagesOnceKeepsTheLatestHandleAndReleasesOnTheLastKillSwitchTunnel) {
    firewall.setNextHandle(42);
    addTunnel(true, "203.0.113.10");
    Tunnel& plain = addTunnel(false, "192.0.2.1");

    reconcile();
    reconcile(); // a new table while engaged: no new log line
    EXPECT_EQ(firewall.calls().size(), 2u);
    EXPECT_TRUE(m_killSwitch.isLoaded());
    EXPECT_EQ(m_killSwitch.tableHandle(), 43u);
    EXPECT_THAT(logs, ElementsAre(kEngaged));

    firewall.clearCalls();
    m_tunnels = {&plain}; // the kill-switch tunnel stopped, another remains
    reconcile();
    reconcile();
    EXPECT_THAT(firewall.calls(), ElementsAre(Call::released()));
    EXPECT_THAT(logs, ElementsAre(kEngaged, "kill switch disengaged"));
    EXPECT_FALSE(m_killSwitch.isLoaded());
    EXPECT_FALSE(m_killSwitch.tableHandle().has_value());
}

TEST_F(KillSwitchTest, ATableWithoutHandleIsLoggedAndStillReleased) {
    firewall.withholdHandles("add table inet torvane_killswitch");
    addTunnel(true, "203.0.113.10");

    reconcile();
    EXPECT_TRUE(m_killSwitch.isLoaded());
    EXPECT_THAT(logs, ElementsAre("kill switch: could not parse nftables enable token (output: "
                                  "add table inet torvane_killswitch) — nftables may already be "
                                  "enabled",
                                  kEngaged));

    firewall.clearCalls();
    m_killSwitch.deactivateKillSwitch();
    EXPECT_THAT(firewall.calls(), ElementsAre(Call::released()));
}

TEST_F(KillSwitchTest, AFailedApplyMarksKillSwitchTunnelsAndKeepsTheEarlierTable) {
    Tunnel& guarded = addTunnel(true, "203.0.113.10");
    Tunnel& plain = addTunnel(false, "192.0.2.1");
    reconcile();
    const auto before = firewall.policyInForce();
    logs.clear();

    firewall.failApplies(FirewallError{1, "cannot resolve vpn.invalid: Name or service not known"});
    plain.tun = "ipsec0";
    reconcile();
    EXPECT_THAT(logs, ElementsAre("kill switch: nftables load FAILED (exit 1): cannot resolve "
                                  "vpn.invalid: Name or service not known"));
    EXPECT_EQ(guarded.message, "Kill switch failed to engage — see log");
    EXPECT_FALSE(plain.message.has_value());
    EXPECT_TRUE(m_killSwitch.isLoaded());
    EXPECT_EQ(firewall.policyInForce(), before);
}

TEST_F(KillSwitchTest, NoTableLoadedLeavesNothingToRelease) {
    addTunnel(false, "203.0.113.10");
    reconcile();
    EXPECT_THAT(firewall.calls(), IsEmpty()) << "no tunnel asked for the kill switch";

    firewall.failApplies(FirewallError{1, "nftables refused the rules: Error: no such file"});
    addTunnel(true, "203.0.113.10");
    reconcile();
    EXPECT_FALSE(m_killSwitch.isLoaded());
    firewall.clearCalls();
    m_killSwitch.deactivateKillSwitch();
    EXPECT_THAT(firewall.calls(), IsEmpty());
}

TEST_F(KillSwitchTest, LockdownPassesOnlyItsGatewayUntilItsTunnelIsUpAndOutlivesEveryTunnel) {
    const Uuid id = *Uuid::parse("6F1E3C8A-2B4D-4E5F-9A0B-1C2D3E4F5A6B");
    m_killSwitch.setLockdown({{id.upperText(), "203.0.113.10"}});
    reconcile();
    EXPECT_THAT(firewall.calls(), ElementsAre(Call::applied({{}, {"203.0.113.10"}})));
    EXPECT_TRUE(m_killSwitch.isLockedDown());

    // Connecting: another tunnel's interface passes, its gateway does not.
    Tunnel& other = addTunnel(false, "192.0.2.1");
    other.tun = "ipsec1";
    Tunnel& office = addTunnel(false, "vpn.example.net", id);
    office.remoteIP = "203.0.113.11";
    firewall.clearCalls();
    reconcile();
    EXPECT_THAT(firewall.calls(),
                ElementsAre(Call::applied({{"ipsec1"}, {"203.0.113.10", "203.0.113.11"}})));

    office.tun = "ipsec0";
    firewall.clearCalls();
    reconcile();
    EXPECT_FALSE(m_killSwitch.isLockedDown());
    EXPECT_THAT(firewall.calls(),
                ElementsAre(Call::applied({{"ipsec1", "ipsec0"}, {"192.0.2.1", "203.0.113.11"}})));

    // Stopped, or force-killed: the table stays, replaced rather than released.
    m_tunnels.clear();
    firewall.clearCalls();
    m_killSwitch.releaseWhateverIsLoaded();
    EXPECT_THAT(firewall.calls(), ElementsAre(Call::applied({{}, {"203.0.113.10"}})));
    EXPECT_TRUE(m_killSwitch.isLockedDown());

    m_killSwitch.setLockdown({});
    firewall.clearCalls();
    reconcile();
    EXPECT_THAT(firewall.calls(), ElementsAre(Call::released()));
    EXPECT_FALSE(m_killSwitch.isLockedDown());
}

} // namespace
} // namespace torvane

#include "helper/network/RouteTable.h"

#include "tests/helper/network/NetworkFakes.h"
#include "tests/helper/platform/linux/TestSupport.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace torvane {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

const RouteLookup kDefault{"default", "10.32.0.1", "tvr-v0"};

class RouteTableTest : public ::testing::Test, protected NetworkFakes {
protected:
    RouteTableTest() { routes.setDefaultRoute(kDefault); }

    /// A tunnel whose profile id ends in `idDigit`, so ties and map order are
    /// predictable.
    Tunnel& tunnel(const std::string& name, char idDigit, std::vector<std::string> networks,
                   std::optional<std::string> vip, std::string remoteAddr = "") {
        VPNProfile profile;
        profile.id = *Uuid::parse(std::string("00000000-0000-4000-8000-00000000000") + idDigit);
        profile.name = name;
        profile.routes = std::move(networks);
        profile.remoteAddr = std::move(remoteAddr);
        m_tunnels.push_back(std::make_unique<Tunnel>(profile));
        m_tunnels.back()->vip = std::move(vip);
        return *m_tunnels.back();
    }
    void reconcile(const std::vector<Tunnel*>& byPriority) {
        table.reconcile(byPriority, byPriority);
    }
    /// The routing calls and log lines since the last call.
    std::vector<std::string> calls() {
        auto lines = routes.calls();
        routes.clearCalls();
        return lines;
    }
    std::vector<std::string> logLines() { return std::exchange(logs, {}); }

    RouteTable table{context};

private:
    std::vector<std::unique_ptr<Tunnel>> m_tunnels;
};

TEST_F(RouteTableTest, OnlyTunnelsWithAnAddressOrDeviceClaimNetworks) {
    Tunnel& best = tunnel("best", '1', {"10.0.0.0/8"}, std::nullopt);
    Tunnel& other = tunnel("other", '2', {"10.0.0.0/8"}, std::nullopt);
    other.tun = "ipsec0";

    reconcile({&best, &other});
    EXPECT_THAT(calls(), ElementsAre("batch", "add 10.0.0.0/8 dev ipsec0"));
    EXPECT_THAT(logLines(), ElementsAre("route add 10.0.0.0/8 → ipsec0 ['other']: ok"));

    best.vip = "10.99.0.1";
    reconcile({&best, &other});
    EXPECT_THAT(calls(), ElementsAre("batch", "delete 10.0.0.0/8", "add 10.0.0.0/8 via 10.99.0.1"));

    // A reconnect clears both: the network falls back to the other tunnel.
    best.vip.reset();
    reconcile({&best, &other});
    EXPECT_THAT(calls(), ElementsAre("batch", "delete 10.0.0.0/8", "add 10.0.0.0/8 dev ipsec0"));
}

TEST_F(RouteTableTest, EveryAddIsJournaledFirstAndAFailedOneIsForgottenLoggedAndRetried) {
    test::TempDir dir;
    ChangeJournal journal((dir.path() / "journal.json").string());
    context.journal = &journal;
    Tunnel& alpha = tunnel("alpha", '1', {"10.0.0.0/8", "10.1.0.0/16"}, "10.99.0.1");
    routes.failAdd("10.0.0.0/8", "File exists");

    reconcile({&alpha});
    EXPECT_THAT(logLines(), ElementsAre("route add 10.0.0.0/8 → 10.99.0.1 ['alpha']: File exists",
                                        "route add 10.1.0.0/16 → 10.99.0.1 ['alpha']: ok"));
    EXPECT_EQ(routes.batches(), 1);
    auto steps = ChangeJournal::load(journal.path());
    ASSERT_TRUE(steps);
    EXPECT_THAT(*steps, ElementsAre(std::pair{std::string("route 10.1.0.0/16"),
                                              UndoStep::deleteRoute("10.1.0.0/16")}));

    routes.clearFailures();
    reconcile({&alpha});
    EXPECT_THAT(logLines(), ElementsAre("route add 10.0.0.0/8 → 10.99.0.1 ['alpha']: ok"));
    EXPECT_EQ(table.installedRoutes().size(), 2u);

    table.removeAllRoutes();
    EXPECT_TRUE(ChangeJournal::load(journal.path())->empty());
    context.journal = nullptr;
}

TEST_F(RouteTableTest, FullTunnelPinsEveryGatewayBeforeItsRoutesAndReleasesThemAfter) {
    Tunnel& full = tunnel("full", '1', {}, "10.99.0.1", "vpn.example.net");
    full.remoteIP = "192.0.2.10";
    Tunnel& split = tunnel("split", '2', {"10.0.0.0/8"}, "10.99.0.2", "192.0.2.20");
    Tunnel& connecting = tunnel("connecting", '3', {"10.0.0.0/8"}, std::nullopt, "198.51.100.7");
    Tunnel& noGateway = tunnel("nogw", '4', {}, std::nullopt);

    reconcile({&full, &split, &connecting, &noGateway});
    EXPECT_THAT(calls(), ElementsAre("default", "add host 192.0.2.10 via 10.32.0.1",
                                     "add host 192.0.2.20 via 10.32.0.1",
                                     "add host 198.51.100.7 via 10.32.0.1", "batch",
                                     "add 0.0.0.0/1 via 10.99.0.1", "add 10.0.0.0/8 via 10.99.0.2",
                                     "add 128.0.0.0/1 via 10.99.0.1"));
    EXPECT_THAT(logLines(),
                ::testing::Contains("gateway exclusion route: 192.0.2.10 via 10.32.0.1"));
    EXPECT_TRUE(table.carriesAllIPv4());

    // A tunnel gone while the full tunnel stays: only its exclusion goes.
    reconcile({&full, &split});
    EXPECT_THAT(calls(), ElementsAre("delete host 198.51.100.7"));
    EXPECT_THAT(logLines(), ElementsAre("gateway exclusion route removed for 198.51.100.7"));

    // No full tunnel any more: the halves go, then every exclusion.
    reconcile({&split});
    EXPECT_THAT(calls(), ElementsAre("batch", "delete 0.0.0.0/1", "delete 128.0.0.0/1",
                                     "delete host 192.0.2.10", "delete host 192.0.2.20"));
    EXPECT_THAT(routes.hostRoutes(), IsEmpty());
    EXPECT_FALSE(table.carriesAllIPv4());
    EXPECT_EQ(table.underlyingDefaultRoute(), kDefault);

    // Whatever the kernel answers, a removal of everything forgets it all.
    reconcile({&full});
    routes.dropAll();
    calls();
    logLines();
    table.removeAllRoutes();
    EXPECT_THAT(calls(), ElementsAre("batch", "delete 0.0.0.0/1", "delete 128.0.0.0/1",
                                     "delete host 192.0.2.10"));
    EXPECT_THAT(logLines(), IsEmpty());
    EXPECT_THAT(table.installedRoutes(), IsEmpty());
    EXPECT_THAT(table.installedGatewayExclusions(), IsEmpty());
    EXPECT_EQ(table.underlyingDefaultRoute(), kDefault) << "the caller clears it";
}

TEST_F(RouteTableTest, DefaultRouteIsAskedUntilLearntThenCachedUntilCleared) {
    routes.setDefaultRoute(std::nullopt);
    table.addGatewayExclusionRoute("192.0.2.10");
    routes.setDefaultRoute(kDefault);
    table.addGatewayExclusionRoute("192.0.2.10");
    routes.failAdd("192.0.2.30", "Network is unreachable");
    table.addGatewayExclusionRoute("192.0.2.30");
    EXPECT_THAT(calls(), ElementsAre("default", "default", "add host 192.0.2.10 via 10.32.0.1",
                                     "add host 192.0.2.30 via 10.32.0.1"));
    EXPECT_THAT(logLines(),
                ElementsAre("gateway exclusion: could not determine default gateway — skipping",
                            "gateway exclusion route: 192.0.2.10 via 10.32.0.1",
                            "gateway exclusion route add failed: Network is unreachable"));
    EXPECT_THAT(table.installedGatewayExclusions(), ElementsAre("192.0.2.10"));

    // A point-to-point default route has no gateway: the exclusion goes
    // onto its device.
    table.clearUnderlyingDefaultGateway();
    routes.setDefaultRoute(RouteLookup{"default", std::nullopt, "ppp0"});
    table.addGatewayExclusionRoute("192.0.2.40");
    EXPECT_THAT(calls(), ElementsAre("default", "add host 192.0.2.40 dev ppp0"));
    EXPECT_THAT(logLines(), ElementsAre("gateway exclusion route: 192.0.2.40 dev ppp0"));
}

// An exclusion the kernel dropped with its link is put back on the test bed
// (network_e2e.sh, fault scenario 5), and so is one that moves between a
// gateway and a gateway-less default route; here, one that still exists but
// uses an old router.
TEST_F(RouteTableTest, APathChangeMovesExclusionsToTheNewRouter) {
    table.addGatewayExclusionRoute("192.0.2.7");
    table.refreshGatewayExclusions();
    routes.setDefaultRoute(RouteLookup{"default", "10.32.0.254", "tvr-v0"});
    table.refreshGatewayExclusions();
    EXPECT_EQ(calls().back(), "add host 192.0.2.7 via 10.32.0.254");
    EXPECT_EQ(table.underlyingDefaultRoute()->gateway, "10.32.0.254");
}

TEST(EffectiveCIDRsTest, RoutesOrTheTrimmedSelectorWithTheDefaultSplit) {
    VPNProfile profile;
    profile.remoteTS = " \t10.1.0.0/16  ";
    EXPECT_THAT(effectiveCIDRs(profile), ElementsAre("10.1.0.0/16"));
    profile.remoteTS = "10.1.0.0/16, 10.2.0.0/16";
    EXPECT_THAT(effectiveCIDRs(profile), ElementsAre("10.1.0.0/16, 10.2.0.0/16"));
    profile.remoteTS = " \t ";
    EXPECT_THAT(effectiveCIDRs(profile), IsEmpty());
    profile.remoteTS = "0.0.0.0/0";
    EXPECT_THAT(effectiveCIDRs(profile), ElementsAre("0.0.0.0/1", "128.0.0.0/1"));
    profile.routes = {"10.0.0.0/8", "0.0.0.0/0", "10.0.0.0/08", "10.2.0.0/16"};
    EXPECT_THAT(effectiveCIDRs(profile), ElementsAre("10.0.0.0/8", "0.0.0.0/1", "128.0.0.0/1",
                                                     "10.0.0.0/08", "10.2.0.0/16"));
}

TEST(FullIPv4TunnelTest, OnlyAllOfIPv4AndNothingOfIPv6) {
    const auto check = [](std::vector<std::string> routes, std::optional<std::string> vip,
                          std::string remoteTS = "") {
        VPNProfile profile;
        profile.routes = std::move(routes);
        profile.remoteTS = std::move(remoteTS);
        Tunnel tunnel(profile);
        tunnel.vip = std::move(vip);
        return isFullIPv4TunnelWithoutIPv6(tunnel);
    };
    EXPECT_TRUE(check({"0.0.0.0/0"}, "10.0.0.2"));
    EXPECT_TRUE(check({"0.0.0.0/0"}, std::nullopt));
    EXPECT_TRUE(check({}, std::nullopt, " 0.0.0.0/0\t"));
    EXPECT_FALSE(check({"0.0.0.0/0", "::/0"}, "10.0.0.2"));
    EXPECT_FALSE(check({"0.0.0.0/0"}, "fd00::2"));
    EXPECT_FALSE(check({"0.0.0.0/1", "128.0.0.0/1"}, "10.0.0.2"));
    EXPECT_FALSE(check({"10.0.0.0/8"}, "10.0.0.2"));
}

} // namespace
} // namespace torvane

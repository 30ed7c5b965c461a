#include "RouteTable.h"

#include "FakeFirewall.h"
#include "FakeIpv6Control.h"
#include "RecordingCommandRunner.h"

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

const std::string kRoute = "/opt/tv/tools/route";
const std::string kRouteGet = "   route to: default\n"
                              "destination: default\n"
                              "    gateway: 10.32.0.1\n"
                              "  interface: tvr-v0\n";

class RouteTableTest : public ::testing::Test {
protected:
    /// A tunnel whose profile id ends in `idDigit`, so ties and map order are
    /// predictable.
    Tunnel& tunnel(const std::string& name, char idDigit, std::vector<std::string> routes,
                   std::optional<std::string> vip, std::string remoteAddr = "") {
        VPNProfile profile;
        profile.id = *Uuid::parse(std::string("00000000-0000-4000-8000-00000000000") + idDigit);
        profile.name = name;
        profile.routes = std::move(routes);
        profile.remoteAddr = std::move(remoteAddr);
        m_tunnels.push_back(std::make_unique<Tunnel>(profile));
        m_tunnels.back()->vip = std::move(vip);
        return *m_tunnels.back();
    }
    void reconcile(const std::vector<Tunnel*>& byPriority) {
        table.reconcile(byPriority, byPriority);
    }
    /// The command lines and log lines since the last call.
    std::vector<std::string> commands() {
        auto lines = runner.commandLines();
        runner.clearCalls();
        return lines;
    }
    std::vector<std::string> logs() { return std::exchange(m_logs, {}); }

    RecordingCommandRunner runner;
    FakeFirewall firewall;
    FakeIpv6Control ipv6;
    BundleLocator locator{"/opt/tv/torvane-helper"};
    std::vector<std::string> m_logs;
    NetworkContext context{runner,
                           firewall,
                           ipv6,
                           locator,
                           "/tmp/staging",
                           [this](const std::string& line) { m_logs.push_back(line); },
                           [](const std::string&) {
                           }};
    RouteTable table{context};

private:
    std::vector<std::unique_ptr<Tunnel>> m_tunnels;
};

TEST_F(RouteTableTest, SharedNetworkMovesToTheBetterTunnelInOnePass) {
    Tunnel& alpha = tunnel("alpha", '1', {"10.0.0.0/8", "10.1.0.0/16"}, "10.99.0.1");
    Tunnel& beta = tunnel("beta", '2', {"10.0.0.0/8"}, "10.99.0.2");

    reconcile({&alpha, &beta});
    EXPECT_THAT(commands(), ElementsAre(kRoute + " -n add -net 10.0.0.0/8 10.99.0.1",
                                        kRoute + " -n add -net 10.1.0.0/16 10.99.0.1"));
    EXPECT_THAT(logs(), ElementsAre("route add 10.0.0.0/8 → 10.99.0.1 ['alpha']: ok",
                                    "route add 10.1.0.0/16 → 10.99.0.1 ['alpha']: ok"));

    reconcile({&beta, &alpha});
    EXPECT_THAT(commands(), ElementsAre(kRoute + " -n delete -net 10.0.0.0/8",
                                        kRoute + " -n add -net 10.0.0.0/8 10.99.0.2"));
    EXPECT_THAT(logs(), ElementsAre("route removed: 10.0.0.0/8",
                                    "route add 10.0.0.0/8 → 10.99.0.2 ['beta']: ok"));
    EXPECT_EQ(table.installedRoutes().at("10.0.0.0/8"), beta.profile.id);

    reconcile({&beta, &alpha});
    EXPECT_THAT(commands(), IsEmpty()) << "a settled table issues no command";
    EXPECT_FALSE(table.carriesAllIPv4());
}

TEST_F(RouteTableTest, OnlyTunnelsWithAnAddressOrDeviceClaimNetworks) {
    Tunnel& best = tunnel("best", '1', {"10.0.0.0/8"}, std::nullopt);
    Tunnel& other = tunnel("other", '2', {"10.0.0.0/8"}, std::nullopt);
    other.tun = "ipsec0";

    reconcile({&best, &other});
    EXPECT_THAT(commands(), ElementsAre(kRoute + " -n add -net 10.0.0.0/8 -interface ipsec0"));
    EXPECT_THAT(logs(), ElementsAre("route add 10.0.0.0/8 → ipsec0 ['other']: ok"));

    best.vip = "10.99.0.1";
    reconcile({&best, &other});
    EXPECT_THAT(commands(), ElementsAre(kRoute + " -n delete -net 10.0.0.0/8",
                                        kRoute + " -n add -net 10.0.0.0/8 10.99.0.1"));

    // A reconnect clears both: the network falls back to the other tunnel.
    best.vip.reset();
    reconcile({&best, &other});
    EXPECT_THAT(commands(), ElementsAre(kRoute + " -n delete -net 10.0.0.0/8",
                                        kRoute + " -n add -net 10.0.0.0/8 -interface ipsec0"));
}

TEST_F(RouteTableTest, FailedAddIsLoggedUnownedAndRetried) {
    Tunnel& alpha = tunnel("alpha", '1', {"10.0.0.0/8"}, "10.99.0.1");
    runner.queueResult("route", {"-n", "add"}, {1, "route: add net 10.0.0.0/8: File exists"});
    runner.queueResult("route", {"-n", "add"}, {7, ""});

    reconcile({&alpha});
    reconcile({&alpha});
    EXPECT_THAT(table.installedRoutes(), IsEmpty());
    reconcile({&alpha});
    EXPECT_EQ(commands().size(), 3u);
    EXPECT_THAT(logs(), ElementsAre("route add 10.0.0.0/8 → 10.99.0.1 ['alpha']: route: add net "
                                    "10.0.0.0/8: File exists",
                                    "route add 10.0.0.0/8 → 10.99.0.1 ['alpha']: exit(7)",
                                    "route add 10.0.0.0/8 → 10.99.0.1 ['alpha']: ok"));
    EXPECT_TRUE(table.installedRoutes().contains("10.0.0.0/8"));
}

TEST_F(RouteTableTest, FullTunnelPinsEveryGatewayBeforeItsRoutesAndReleasesThemAfter) {
    runner.setResult("route", {"get", "0.0.0.0"}, {0, kRouteGet});
    Tunnel& full = tunnel("full", '1', {}, "10.99.0.1", "vpn.example.net");
    full.remoteIP = "192.0.2.10";
    Tunnel& split = tunnel("split", '2', {"10.0.0.0/8"}, "10.99.0.2", "192.0.2.20");
    Tunnel& connecting = tunnel("connecting", '3', {"10.0.0.0/8"}, std::nullopt, "198.51.100.7");
    Tunnel& noGateway = tunnel("nogw", '4', {}, std::nullopt);

    reconcile({&full, &split, &connecting, &noGateway});
    EXPECT_THAT(commands(),
                ElementsAre(kRoute + " get 0.0.0.0", kRoute + " add -host 192.0.2.10 10.32.0.1",
                            kRoute + " add -host 192.0.2.20 10.32.0.1",
                            kRoute + " add -host 198.51.100.7 10.32.0.1",
                            kRoute + " -n add -net 0.0.0.0/1 10.99.0.1",
                            kRoute + " -n add -net 10.0.0.0/8 10.99.0.2",
                            kRoute + " -n add -net 128.0.0.0/1 10.99.0.1"));
    EXPECT_THAT(logs(), ::testing::Contains("gateway exclusion route: 192.0.2.10 via 10.32.0.1"));
    EXPECT_TRUE(table.carriesAllIPv4());

    // A tunnel gone while the full tunnel stays: only its exclusion goes.
    reconcile({&full, &split});
    EXPECT_THAT(commands(), ElementsAre(kRoute + " delete -host 198.51.100.7"));
    EXPECT_THAT(logs(), ElementsAre("gateway exclusion route removed for 198.51.100.7"));

    // No full tunnel any more: the halves go, then every exclusion.
    reconcile({&split});
    EXPECT_THAT(commands(), ElementsAre(kRoute + " -n delete -net 0.0.0.0/1",
                                        kRoute + " -n delete -net 128.0.0.0/1",
                                        kRoute + " delete -host 192.0.2.10",
                                        kRoute + " delete -host 192.0.2.20"));
    EXPECT_THAT(logs(), ElementsAre("route removed: 0.0.0.0/1", "route removed: 128.0.0.0/1",
                                    "gateway exclusion route removed for 192.0.2.10",
                                    "gateway exclusion route removed for 192.0.2.20"));
    EXPECT_THAT(table.installedGatewayExclusions(), IsEmpty());
    EXPECT_FALSE(table.carriesAllIPv4());
    EXPECT_EQ(table.underlyingDefaultGateway(), "10.32.0.1");
}

TEST_F(RouteTableTest, DefaultGatewayIsAskedUntilLearntThenCachedUntilCleared) {
    runner.setResult("route", {"get"}, {0, kRouteGet}); // once the queue is used up
    runner.queueResult("route", {"get"}, {1, "route: get default: not in table"});
    runner.queueResult("route", {"get"}, {0, "    gateway:   \n"});
    runner.queueResult("route", {"get"}, {0, kRouteGet});
    runner.queueResult("route", {"add", "-host", "192.0.2.30"},
                       {1, "route: add host 192.0.2.30: unreachable"});

    table.addGatewayExclusionRoute("192.0.2.10");
    table.addGatewayExclusionRoute("192.0.2.10"); // an empty value is no gateway
    table.addGatewayExclusionRoute("192.0.2.10");
    table.addGatewayExclusionRoute("192.0.2.30");
    EXPECT_THAT(commands(),
                ElementsAre(kRoute + " get 0.0.0.0", kRoute + " get 0.0.0.0",
                            kRoute + " get 0.0.0.0", kRoute + " add -host 192.0.2.10 10.32.0.1",
                            kRoute + " add -host 192.0.2.30 10.32.0.1"));
    EXPECT_THAT(logs(),
                ElementsAre("gateway exclusion: could not determine default gateway — skipping",
                            "gateway exclusion: could not determine default gateway — skipping",
                            "gateway exclusion route: 192.0.2.10 via 10.32.0.1",
                            "gateway exclusion route add failed: route: add host 192.0.2.30: "
                            "unreachable"));
    EXPECT_THAT(table.installedGatewayExclusions(), ElementsAre("192.0.2.10"));

    table.clearUnderlyingDefaultGateway();
    table.addGatewayExclusionRoute("192.0.2.40");
    EXPECT_THAT(commands(),
                ElementsAre(kRoute + " get 0.0.0.0", kRoute + " add -host 192.0.2.40 10.32.0.1"));
}

TEST_F(RouteTableTest, APathChangePutsBackExclusionsTheKernelDroppedOrThatUseAnOldRouter) {
    runner.setResult(kRoute, {"get", "0.0.0.0"}, {0, kRouteGet});
    table.addGatewayExclusionRoute("192.0.2.7");
    // Still there, via the same router: nothing to do.
    runner.setResult(kRoute, {"get", "192.0.2.7"},
                     {0, "destination: 192.0.2.7\n    gateway: 10.32.0.1\n"});
    commands();
    table.refreshGatewayExclusions();
    EXPECT_THAT(commands(), ElementsAre(kRoute + " get 0.0.0.0", kRoute + " get 192.0.2.7"));

    // The link went down and up: the lookup now ends in a tunnel half.
    runner.setResult(kRoute, {"get", "192.0.2.7"},
                     {0, "destination: 0.0.0.0\n  interface: ipsec0\n"});
    table.refreshGatewayExclusions();
    EXPECT_THAT(commands(), ElementsAre(kRoute + " get 0.0.0.0", kRoute + " get 192.0.2.7",
                                        kRoute + " delete -host 192.0.2.7",
                                        kRoute + " add -host 192.0.2.7 10.32.0.1"));

    // A new router: the exclusion moves to it even though it still exists.
    runner.setResult(kRoute, {"get", "0.0.0.0"}, {0, "gateway: 10.32.0.254\n"});
    runner.setResult(kRoute, {"get", "192.0.2.7"},
                     {0, "destination: 192.0.2.7\n    gateway: 10.32.0.1\n"});
    table.refreshGatewayExclusions();
    EXPECT_EQ(commands().back(), kRoute + " add -host 192.0.2.7 10.32.0.254");
    EXPECT_EQ(table.underlyingDefaultGateway(), "10.32.0.254");
}

TEST_F(RouteTableTest, RemoveAllRoutesForgetsEverythingWhateverTheToolSays) {
    runner.setResult("route", {"get"}, {0, kRouteGet});
    runner.setResult("route", {"-n", "delete"}, {1, "route: delete net: not in table"});
    runner.setResult("route", {"delete"}, {1, "route: delete host: not in table"});
    Tunnel& full = tunnel("full", '1', {"0.0.0.0/0", "10.0.0.0/8"}, "10.99.0.1", "192.0.2.10");
    reconcile({&full});
    commands();
    logs();

    table.removeAllRoutes();
    EXPECT_THAT(commands(), ElementsAre(kRoute + " -n delete -net 0.0.0.0/1",
                                        kRoute + " -n delete -net 10.0.0.0/8",
                                        kRoute + " -n delete -net 128.0.0.0/1",
                                        kRoute + " delete -host 192.0.2.10"));
    EXPECT_THAT(logs(), IsEmpty());
    EXPECT_THAT(table.installedRoutes(), IsEmpty());
    EXPECT_THAT(table.installedGatewayExclusions(), IsEmpty());
    EXPECT_EQ(table.underlyingDefaultGateway(), "10.32.0.1") << "the caller clears it";
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

#include "tests/helper/engine/EngineTestFixture.h"

#include <algorithm>
#include <sys/stat.h>

#include <gmock/gmock.h>

using namespace torvane;
using namespace torvane::testing;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

mode_t modeOf(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return 0;
    }
    return info.st_mode & 07777;
}

bool exists(const std::string& path) {
    return std::filesystem::exists(path);
}

} // namespace

TEST_F(EngineTest, StartRunsEachStepInOrderAndPublishesTheTunnel) {
    const VPNProfile office = profile("Office");
    const std::string name = "ov-" + office.id.lowerText();
    acceptTunnel(office, "10.99.0.1");

    EXPECT_EQ(start(office), (Reply{0, "Connected (10.99.0.1)"}));

    EXPECT_THAT(timeline(),
                ElementsAre(swanctlLine("--load-creds"), swanctlLine("--load-conns"),
                            viciLine("initiate " + name), viciLine("list-sas " + name),
                            "routes: lookup 10.99.0.1", viciLine("list-sas " + name),
                            "routes: batch", "routes: add 10.200.0.0/24 via 10.99.0.1"));
    // The environments of swanctl and charon, the VICI events and the
    // published tunnel are proven with the real programs end to end.
    EXPECT_EQ(m_runner.calls()[2].timeout.count(), 20);

    const std::string uuid = office.id.lowerText();
    EXPECT_EQ(modeOf(m_staging), 0700u);
    EXPECT_EQ(modeOf(m_staging + "/strongswan.conf"), 0644u);
    EXPECT_EQ(modeOf(m_staging + "/swanctl/swanctl.conf"), 0600u);
    EXPECT_EQ(modeOf(m_staging + "/swanctl/conf.d/" + uuid + ".conf"), 0600u);
    EXPECT_EQ(modeOf(m_staging + "/swanctl/x509ca/ca-" + uuid + ".pem"), 0600u);
    EXPECT_EQ(modeOf(m_staging + "/swanctl/pkcs12"), 0700u);
    EXPECT_FALSE(exists(m_staging + "/swanctl/private/client-" + uuid + ".key"))
        << "a PSK profile stages no private key";
}

// The other tunnel staying up and the last stop's teardown run with the real
// daemon in helper_e2e.sh; here the handover and the stopped tunnel's
// credentials leaving charon, which no bed reads back.
TEST_F(EngineTest, StoppingOneOfTwoTunnelsHandsOverItsRoutesAndUnloadsItsCredentials) {
    const VPNProfile a = profile("A", 0);
    const VPNProfile b = profile("B", 1);
    acceptTunnel(a, "10.99.0.1");
    acceptTunnel(b, "10.99.0.2");
    ASSERT_EQ(start(a).code, 0);
    ASSERT_EQ(start(b).code, 0);

    clearCalls();
    EXPECT_EQ(stop(a.id.upperText()), (Reply{0, "Disconnected A"}));
    EXPECT_THAT(timeline(),
                ElementsAre(swanctlLine("--terminate --ike ov-" + a.id.lowerText()),
                            swanctlLine("--load-creds --clear"), swanctlLine("--load-conns"),
                            // A owned the shared network; it moves to B.
                            "routes: batch", "routes: delete 10.200.0.0/24",
                            "routes: add 10.200.0.0/24 via 10.99.0.2"));
    EXPECT_FALSE(exists(m_staging + "/swanctl/conf.d/" + a.id.lowerText() + ".conf"));
    EXPECT_TRUE(exists(m_staging + "/swanctl/conf.d/" + b.id.lowerText() + ".conf"));
}

TEST_F(EngineTest, AFailedOnlyTunnelTearsEverythingDown) {
    const VPNProfile wrong = profile("Wrong PSK");
    const std::string name = "ov-" + wrong.id.lowerText();
    m_runner.setResult("vici", {"initiate"}, {1, "[IKE] received AUTHENTICATION_FAILED"});

    EXPECT_EQ(start(wrong),
              (Reply{1, "Tunnel did not establish (check credentials / gateway). swanctl exit 1"}));
    // Four listings 0.25 s apart waiting for a virtual IP, then the routing table.
    const auto lines = m_runner.commandLines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), viciLine("list-sas " + name)), 4);
    EXPECT_THAT(m_routes.calls(), Contains("table"));
    const auto sleeps = m_clock.sleeps();
    EXPECT_EQ(std::count(sleeps.begin(), sleeps.end(), 0.25), 3);
    EXPECT_FALSE(exists(m_staging));
    EXPECT_EQ(m_launcher.lastChild()->terminateCount(), 1);
    const auto status = m_engine->statusSnapshot();
    ASSERT_EQ(status.tunnels.size(), 1u);
    EXPECT_EQ(status.tunnels[0].state, VPNConnState::error);
    // The next command clears the error entry.
    EXPECT_EQ(stop("unknown"), (Reply{0, "Not connected"}));
    EXPECT_TRUE(m_engine->statusSnapshot().tunnels.empty());
}

TEST_F(EngineTest, RestartingAProfileReplacesItsTunnel) {
    const VPNProfile office = profile("Office");
    acceptTunnel(office, "10.99.0.1");
    ASSERT_EQ(start(office).code, 0);
    ASSERT_EQ(start(office).code, 0);
    // The only tunnel was stopped first: a full teardown, then a new charon.
    EXPECT_EQ(m_launcher.launchCount(), 2u);
    EXPECT_EQ(m_launcher.children()[0]->terminateCount(), 1);
    EXPECT_EQ(m_engine->statusSnapshot().tunnels.size(), 1u);
}

TEST_F(EngineTest, StartFailuresBeforeAnyCommand) {
    EXPECT_EQ(stop("not-a-uuid"), (Reply{0, "Not connected"}));
    EXPECT_EQ(stop(VPNProfile().id.upperText()), (Reply{0, "Not connected"}));

    // An injection attempt in a value written without quotes.
    VPNProfile crafted = profile("Crafted");
    crafted.remoteAddr = "10.10.0.1\n        updown = /tmp/x";
    const Reply refused = start(crafted);
    EXPECT_EQ(refused.code, 1);
    EXPECT_THAT(refused.message, HasSubstr("remote address"));
    EXPECT_FALSE(exists(m_staging + "/swanctl/conf.d/" + crafted.id.lowerText() + ".conf"));
    EXPECT_EQ(m_launcher.launchCount(), 0u);
    EXPECT_THAT(m_runner.commandLines(),
                ElementsAre(swanctlLine("--terminate --ike ov-" + crafted.id.lowerText())))
        << "only the cleanup of the refused tunnel runs";

    m_launcher.failNextLaunch("could not start charon: Permission denied");
    EXPECT_EQ(start(profile("X")), (Reply{1, "could not start charon: Permission denied"}));
    EXPECT_FALSE(exists(m_staging)) << "the failed start undid its staging";

    std::filesystem::remove(charon());
    m_runner.clearCalls();
    EXPECT_EQ(start(profile("X")),
              (Reply{1, "bundled charon not found in the app — rebuild the app "
                        "(the strongSwan tree is missing from Resources)"}));
    EXPECT_EQ(m_runner.callCount(), 0u);
}

TEST_F(EngineTest, SnapshotOrderAndPriorities) {
    std::vector<VPNProfile> profiles = {profile("two", 2), profile("zero", 0), profile("one", 1)};
    for (std::size_t i = 0; i < profiles.size(); ++i) {
        acceptTunnel(profiles[i], "10.99.0." + std::to_string(i + 1));
        ASSERT_EQ(start(profiles[i]).code, 0);
    }
    auto names = [this] {
        std::vector<std::string> result;
        for (const auto& t : m_engine->statusSnapshot().tunnels) {
            result.push_back(t.profileName + ":" + std::to_string(t.priority));
        }
        return result;
    };
    EXPECT_THAT(names(), ElementsAre("zero:0", "one:1", "two:2"));

    // Ids that are not UUIDs are skipped; the rest are numbered without gaps.
    setPriorities({"garbage", profiles[0].id.upperText(), "", profiles[2].id.lowerText()});
    EXPECT_THAT(names(), ElementsAre("two:0", "zero:0", "one:1"))
        << "equal priorities keep start order";
    EXPECT_THAT(logLines(), Contains("priorities changed — re-resolving route/DNS conflicts"));

    const auto logged = logLines().size();
    setPriorities({profiles[0].id.upperText(), "garbage", profiles[2].id.upperText()});
    EXPECT_EQ(logLines().size(), logged) << "an unchanged order logs nothing";
}

TEST_F(EngineTest, TeardownUndoesEveryKindOfChangeInItsOrder) {
    VPNProfile full = profile("Full");
    full.remoteTS = "0.0.0.0/0";
    full.preventIPv6Leak = true;
    full.killSwitchEnabled = true;
    acceptTunnel(full, "10.99.0.1");
    m_routes.setDefaultRoute(RouteLookup{"default", "10.10.0.1", "eth0"});
    m_ipv6.addService("eth0", Ipv6Mode::automatic);
    ASSERT_EQ(start(full), (Reply{0, "Connected (10.99.0.1)"}));
    const auto status = m_engine->statusSnapshot();
    ASSERT_EQ(status.tunnels.size(), 1u);
    EXPECT_TRUE(status.tunnels[0].killSwitchActive);
    const auto started = timeline();
    EXPECT_THAT(started, Contains("routes: add host 10.10.0.1 via 10.10.0.1"));
    EXPECT_THAT(started, Contains("ipv6 eth0 Off"));

    // One sequence of every effect, whichever seam it goes through.
    clearCalls();
    ASSERT_EQ(stopAll(), (Reply{0, "Disconnected"}));
    const auto lines = timeline();
    auto position = [&](const std::string& line) {
        const auto it = std::find(lines.begin(), lines.end(), line);
        EXPECT_NE(it, lines.end()) << line;
        return it - lines.begin();
    };
    // Routes, then the kill switch, then IPv6, then charon's SAs.
    const auto routes = position("routes: delete 0.0.0.0/1");
    const auto exclusion = position("routes: delete host 10.10.0.1");
    const auto firewall = position("firewall release");
    const auto ipv6 = position("ipv6 eth0 Automatic");
    const auto terminate = position(swanctlLine("--terminate --ike ov-" + full.id.lowerText()));
    EXPECT_LT(routes, exclusion);
    EXPECT_LT(exclusion, firewall);
    EXPECT_LT(firewall, ipv6);
    EXPECT_LT(ipv6, terminate);
}

// The bed proves always-on, refusals and removal with the real daemon; here
// what it cannot see: a client's copy of a managed profile never replaces
// the administrator's record, managed profiles rank first whatever the
// client's order, and a changed record reconnects with the new one.
TEST_F(EngineTest, ManagedRecordsWinRankFirstAndReconnectWhenChanged) {
    const VPNProfile mine = profile("Mine");
    ManagedProfile office{profile("Office"),
                          false,
                          false,
                          true,
                          "profiles.d/10-office.json",
                          secrets(),
                          ManagedSecretsOrigin::secretsFile};
    acceptTunnel(mine, "10.99.0.1");
    acceptTunnel(office.profile, "10.99.0.2");
    m_engine->setManagedProfiles({office});
    ASSERT_EQ(start(mine).code, 0);
    VPNProfile copy = office.profile;
    copy.name = "Tampered";
    ASSERT_EQ(start(copy).code, 0);
    setPriorities({mine.id.upperText(), office.profile.id.upperText()});
    auto names = [this] {
        std::vector<std::string> result;
        for (const auto& t : m_engine->statusSnapshot().tunnels) {
            result.push_back(t.profileName + ":" + std::to_string(t.priority));
        }
        return result;
    };
    EXPECT_THAT(names(), ElementsAre("Office:0", "Mine:1"));

    office.profile.name = "Office 2";
    m_engine->setManagedProfiles({office});
    drainQueue();
    EXPECT_THAT(names(), ElementsAre("Office 2:0", "Mine:1"));
    EXPECT_THAT(logLines(), Contains("managed profile 'Office 2' changed — reconnecting it"));
    EXPECT_EQ(m_engine->statusSnapshot().managedRevision, 2u);

    m_engine->setManagedProfiles({});
    drainQueue();
    EXPECT_THAT(names(), ElementsAre("Mine:0"));
}

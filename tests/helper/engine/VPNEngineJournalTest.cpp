#include "tests/helper/engine/EngineTestFixture.h"

#include <fstream>
#include <sstream>

#include <gmock/gmock.h>

using namespace torvane;
using namespace torvane::testing;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

std::string readFile(const std::string& path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

class EngineJournalTest : public EngineTest {
protected:
    /// Replaces the engine by a fresh one that finds `journal` on disk, as
    /// a daemon started after a killed one would.
    void restartWith(const std::string& journal) {
        m_engine.reset();
        std::ofstream(journalPath()) << journal;
        clearCalls();
        m_engine = makeEngine();
        drainQueue();
    }

    std::string tool(const std::string& name) const { return m_base + "/tools/" + name; }
    static FakeFirewall::Call applied(std::vector<std::string> interfaces,
                                      std::vector<std::string> gateways) {
        return FakeFirewall::Call::applied({std::move(interfaces), std::move(gateways)});
    }
    FirewallPolicy policyInForce() const {
        return m_firewall.policyInForce().value_or(FirewallPolicy{{"none"}, {"none"}});
    }
    bool holding() const { return m_engine->statusSnapshot().killSwitchHolding; }
};

} // namespace

TEST_F(EngineJournalTest, ANewDaemonUndoesWhatAKilledOneLeftNewestFirst) {
    // The dead daemon's dnsmasq still runs; its charon is gone.
    m_processes.addLive({4242, 77, "/usr/sbin/dnsmasq"});
    m_ipv6.addService("eth0", Ipv6Mode::off);

    restartWith(R"({"steps":{
        "route 10.200.0.0/24":{"sequence":1,"kind":"route","cidr":"10.200.0.0/24"},
        "host route vpn.example.net":{"sequence":9,"kind":"hostRoute","host":"vpn.example.net"},
        "ipv6 eth0":{"sequence":2,"kind":"ipv6Mode","service":"eth0","mode":"Automatic"},
        "odd":{"sequence":3,"kind":"tool","tool":"rm","args":["-rf","/"]},
        "dns eth0":{"sequence":5,"kind":"storeValue","key":"State:/Network/Service/eth0/DNS",
                    "value":{"ServerAddresses":["192.0.2.53"]}},
        "process dnsmasq":{"sequence":6,"kind":"process","pid":4242,"name":"dnsmasq",
                           "startTime":77,"executable":"/usr/sbin/dnsmasq"},
        "process charon":{"sequence":7,"kind":"process","pid":4243,"name":"charon",
                          "startTime":78,"executable":"/usr/lib/ipsec/charon"},
        "process older":{"sequence":8,"kind":"process","pid":4244,"name":"charon"}}})");

    EXPECT_THAT(timeline(), ElementsAre("routes: delete host vpn.example.net",
                                        "routes: charon leftovers", "ipv6 eth0 Automatic",
                                        "routes: batch", "routes: delete 10.200.0.0/24"));
    EXPECT_THAT(m_processes.calls(),
                ElementsAre("end 4243 78 /usr/lib/ipsec/charon", "end 4242 77 /usr/sbin/dnsmasq"));
    EXPECT_THAT(logLines(), Contains("restored dns eth0: ok"));
    EXPECT_THAT(logLines(), Contains("restored ipv6 eth0: ok"));
    EXPECT_THAT(logLines(), Contains("restored process dnsmasq: ended pid 4242"));
    EXPECT_THAT(logLines(), Contains("restored process charon: pid 4243 already gone"));
    EXPECT_THAT(logLines(), Contains("restore: process older names pid 4244 without its start "
                                     "time — skipped, no process is ended by name"));
    EXPECT_THAT(logLines(), Contains("restore: odd names no known tool — skipped"));
    EXPECT_THAT(logLines(),
                Contains("the previous helper stopped without undoing its changes — restoring 8 "
                         "change(s) from " +
                         journalPath()));
    EXPECT_FALSE(std::filesystem::exists(journalPath()));
}

TEST_F(EngineJournalTest, ADamagedJournalIsSetAsideAndNothingIsRun) {
    for (
        const std::string x :
        {R"("kind":"tool","tool":"route","args":[1])", R"("kind":"route")",
         R"("kind":"route","cidr":"10.0.0.0/8 dev eth0")", R"("kind":"route","cidr":"10.0.0.0/33")",
         R"("kind":"route","cidr":["10.0.0.0/8"])", R"("kind":"hostRoute","host":"")",
         R"("kind":"hostRoute","host":"gw.example.net; reboot")",
         R"("kind":"firewall","killSwitchProfiles":[{"profileID":"office","gateway":"10.10.0.1"}])",
         R"("kind":"firewall","killSwitchProfiles":{})",
         R"("kind":"ipv6Mode","service":"eth0","mode":"Manual")",
         R"("kind":"ipv6Mode","service":"","mode":"Off")"}) {
        std::filesystem::remove(journalPath() + ".damaged");
        restartWith(R"({"steps":{"x":{"sequence":1,)" + x + "}}}");
        EXPECT_TRUE(timeline().empty()) << x;
        EXPECT_TRUE(std::filesystem::exists(journalPath() + ".damaged")) << x;
        EXPECT_FALSE(std::filesystem::exists(journalPath())) << x;
        EXPECT_THAT(logLines(), Contains("change journal unreadable (the journal step 'x' is "
                                         "malformed) — moved to " +
                                         journalPath() + ".damaged; nothing restored from it"));
    }
}

// Held after a kill (proven with the real daemon in journal_e2e), the table
// stays while a profile without a kill switch comes and goes.
TEST_F(EngineJournalTest, AHeldKillSwitchOutlivesAnotherProfilesTunnel) {
    VPNProfile office = profile("Office");
    office.killSwitchEnabled = true;
    acceptTunnel(office, "10.99.0.1");
    ASSERT_EQ(start(office).code, 0);
    restartWith(readFile(journalPath()));
    EXPECT_THAT(m_firewall.calls(), ElementsAre(applied({}, {"10.10.0.1"})))
        << "held, applied anew without the dead tunnel's interface, not released";

    const VPNProfile lab = profile("Lab");
    acceptTunnel(lab, "10.99.0.2");
    m_firewall.clearCalls();
    ASSERT_EQ(start(lab).code, 0);
    EXPECT_EQ(policyInForce(), (FirewallPolicy{{"ipsec0"}, {"10.10.0.1"}}));
    ASSERT_EQ(stop(lab.id.upperText()).code, 0);
    EXPECT_EQ(m_firewall.calls().back(), applied({}, {"10.10.0.1"}));
    EXPECT_THAT(m_firewall.calls(), Not(Contains(FakeFirewall::Call::released())));
    EXPECT_TRUE(holding());
}

TEST_F(EngineJournalTest, AHeldKillSwitchGoesWithItsLastProfileStopAllOrForceKill) {
    const std::string a = Uuid::random().upperText();
    const std::string b = Uuid::random().upperText();
    const std::string named = R"({"steps":{"kill switch":{"sequence":1,"kind":"firewall",)"
                              R"("killSwitchProfiles":[{"profileID":")" +
                              a + R"(","gateway":"192.0.2.1"},{"profileID":")" + b +
                              R"(","gateway":"192.0.2.2"}]}}})";

    restartWith(named);
    ASSERT_EQ(stop(a).code, 0);
    EXPECT_TRUE(holding()) << "still held for the other profile";
    EXPECT_EQ(policyInForce(), (FirewallPolicy{{}, {"192.0.2.2"}}));
    ASSERT_EQ(stop(b).code, 0);
    EXPECT_FALSE(holding());
    EXPECT_EQ(m_firewall.calls().back(), FakeFirewall::Call::released());
    EXPECT_THAT(logLines(), Contains("kill switch hold lifted: its profiles were stopped"));

    restartWith(named);
    ASSERT_EQ(forceKillAll().code, 0);
    EXPECT_FALSE(holding());
    EXPECT_EQ(m_firewall.calls().back(), FakeFirewall::Call::released());

    // A journal that names no profiles: the table is kept as it is, until stop-all.
    restartWith(R"({"steps":{"kill switch":{"sequence":1,"kind":"firewall"}}})");
    EXPECT_TRUE(m_firewall.calls().empty());
    ASSERT_EQ(stop(a).code, 0);
    EXPECT_TRUE(holding());
    EXPECT_THAT(readFile(journalPath()), Not(HasSubstr("killSwitchProfiles")));
    ASSERT_EQ(stopAll().code, 0);
    EXPECT_FALSE(holding());
    EXPECT_EQ(m_firewall.calls().back(), FakeFirewall::Call::released());
    EXPECT_FALSE(std::filesystem::exists(journalPath()));
}

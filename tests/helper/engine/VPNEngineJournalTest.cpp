#include "EngineTestFixture.h"

#include <fstream>
#include <sstream>

#include <gmock/gmock.h>

using namespace torvane;
using namespace torvane::testing;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

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
        m_runner.clearCalls();
        m_engine = makeEngine();
        drainQueue();
    }

    std::string tool(const std::string& name) const { return m_base + "/tools/" + name; }
};

} // namespace

TEST_F(EngineJournalTest, EveryChangeIsJournaledWhileItLastsAndForgottenOnceUndone) {
    VPNProfile office = profile("Office");
    office.routes = {"10.200.0.0/24"};
    office.killSwitchEnabled = true;
    acceptTunnel(office, "10.99.0.1");
    m_runner.setResult("pfctl", {"-E"}, {0, "Token : 7"});
    ASSERT_EQ(start(office).code, 0);

    const std::string journal = readFile(journalPath());
    EXPECT_THAT(journal, HasSubstr("\"route 10.200.0.0/24\""));
    EXPECT_THAT(journal, HasSubstr("\"kill switch\""));
    EXPECT_THAT(journal, HasSubstr(R"("args":["-X","7"])"));
    EXPECT_THAT(journal, HasSubstr(R"("process charon":{"executable":"/proc-of/4000")"));
    EXPECT_THAT(journal, HasSubstr(R"("pid":4000,"sequence")"));
    EXPECT_THAT(journal, HasSubstr(R"("startTime":5000)"));

    ASSERT_EQ(stop(office.id.upperText()).code, 0);
    EXPECT_FALSE(std::filesystem::exists(journalPath()))
        << "nothing is left to undo: " << readFile(journalPath());
}

TEST_F(EngineJournalTest, ANewDaemonUndoesWhatAKilledOneLeftNewestFirst) {
    // The dead daemon's dnsmasq still runs; its charon is gone.
    m_processes.addLive({4242, 77, "/usr/sbin/dnsmasq"});
    m_runner.setResult("/bin/ip", {}, {2, "RTNETLINK answers: No such file or directory"});

    restartWith(R"({"steps":{
        "route 10.200.0.0/24":{"sequence":1,"kind":"tool","tool":"route",
                               "args":["-n","delete","-net","10.200.0.0/24"]},
        "kill switch":{"sequence":4,"kind":"tool","tool":"pfctl","args":["-a","torvane","-F","all"]},
        "ipv6 eth0":{"sequence":2,"kind":"tool","tool":"networksetup",
                     "args":["-setv6automatic","eth0"]},
        "odd":{"sequence":3,"kind":"tool","tool":"rm","args":["-rf","/"]},
        "dns eth0":{"sequence":5,"kind":"storeValue","key":"State:/Network/Service/eth0/DNS",
                    "value":{"ServerAddresses":["192.0.2.53"]}},
        "process dnsmasq":{"sequence":6,"kind":"process","pid":4242,"name":"dnsmasq",
                           "startTime":77,"executable":"/usr/sbin/dnsmasq"},
        "process charon":{"sequence":7,"kind":"process","pid":4243,"name":"charon",
                          "startTime":78,"executable":"/usr/lib/ipsec/charon"},
        "process older":{"sequence":8,"kind":"process","pid":4244,"name":"charon"}}})");

    EXPECT_THAT(m_runner.commandLines(),
                ElementsAre("/bin/ip -4 rule del priority 32800 table 220",
                            "/bin/ip -6 rule del priority 32800 table 220",
                            tool("pfctl") + " -a torvane -F all",
                            tool("networksetup") + " -setv6automatic eth0",
                            tool("route") + " -n delete -net 10.200.0.0/24"));
    EXPECT_THAT(m_processes.calls(),
                ElementsAre("end 4243 78 /usr/lib/ipsec/charon", "end 4242 77 /usr/sbin/dnsmasq"));
    EXPECT_THAT(logLines(), Contains("restored dns eth0: ok"));
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
    restartWith(R"({"steps":{"route x":{"sequence":1,"kind":"tool","tool":"route","args":[1]}}})");
    EXPECT_TRUE(m_runner.commandLines().empty());
    EXPECT_TRUE(std::filesystem::exists(journalPath() + ".damaged"));
    EXPECT_FALSE(std::filesystem::exists(journalPath()));
    EXPECT_THAT(logLines(), Contains("change journal unreadable (the journal step 'route x' is "
                                     "malformed) — moved to " +
                                     journalPath() + ".damaged; nothing restored from it"));
}

TEST_F(EngineJournalTest, ACharonThatDiedLeavesNoRoutingRuleBehind) {
    const VPNProfile office = profile("Office");
    acceptTunnel(office, "10.99.0.1");
    ASSERT_EQ(start(office).code, 0);
    // charon killed from outside: it never removes its userspace-ESP rule.
    m_launcher.lastChild()->exit(137);
    m_runner.setResult("/bin/ip", {"-4", "rule", "del"}, {2, "RTNETLINK answers: No such file"});
    m_runner.queueResult("/bin/ip", {"-4", "rule", "del"}, {0, ""});
    m_runner.setResult("/bin/ip", {"-6", "rule", "del"}, {2, "RTNETLINK answers: No such file"});
    m_runner.clearCalls();
    ASSERT_EQ(stopAll().code, 0);
    const auto lines = m_runner.commandLinesFor("/bin/ip");
    EXPECT_THAT(lines, ElementsAre("/bin/ip -4 rule del priority 32800 table 220",
                                   "/bin/ip -4 rule del priority 32800 table 220",
                                   "/bin/ip -6 rule del priority 32800 table 220"));
    EXPECT_THAT(logLines(),
                Contains("removed the routing rule of a charon that did not stop cleanly (IPv4)"));
}

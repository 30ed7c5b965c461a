#include "tests/helper/engine/EngineTestFixture.h"

#include <atomic>
#include <future>
#include <mutex>

#include <gmock/gmock.h>

using namespace torvane;
using namespace torvane::testing;
using ::testing::Contains;

TEST_F(EngineTest, InitiationToleratesWhatTheSAListingConfirms) {
    // --initiate fails yet names the virtual IP: the SA listing decides.
    const VPNProfile office = profile("Office");
    const std::string name = "ov-" + office.id.lowerText();
    acceptTunnel(office, "10.99.0.7");
    m_runner.setResult("vici", {"initiate"},
                       {1, "[IKE] installing new virtual IP 10.99.0.7\ninitiate failed: timeout"});
    EXPECT_EQ(start(office), (Reply{0, "Connected (10.99.0.7)"}));

    // Established but no CHILD SA installed.
    const VPNProfile half = profile("Half");
    const std::string halfName = "ov-" + half.id.lowerText();
    acceptTunnel(half, "10.99.0.8");
    m_runner.setResult("vici", {"list-sas", halfName},
                       {0, halfName + ": #2, ESTABLISHED, IKEv2\n  local  'c' @ 10.10.0.2[4500] "
                                      "[10.99.0.8]\n  remote 'gw' @ 10.10.0.1[4500]"});
    EXPECT_EQ(start(half), (Reply{1, "IKE_SA (Phase 1) established but CHILD_SA (Phase 2/ESP) "
                                     "failed to install — check ESP proposals/PFS group"}));

    // No virtual IP requested: one listing only, the interface from the table.
    VPNProfile plain = profile("Plain");
    plain.requestVIP = false;
    const std::string plainName = "ov-" + plain.id.lowerText();
    m_runner.setResult("vici", {"initiate", plainName}, {0, "initiate completed"});
    m_runner.setResult("vici", {"list-sas", plainName},
                       {0, plainName + ": #3, ESTABLISHED\n  " + plainName + ": #3, INSTALLED"});
    m_routes.setTable(
        {{.destination = "10.99.0.7", .gateway = "10.99.0.7", .host = true, .device = "ipsec0"},
         {.destination = "10.99.0.3",
          .gateway = "10.99.0.3",
          .host = true,
          .local = true,
          .device = "ipsec2"},
         {.destination = "192.0.2.9", .gateway = "192.0.2.9", .host = true, .device = "ipsec1"}});
    m_runner.clearCalls();
    EXPECT_EQ(start(plain), (Reply{0, "Connected (192.0.2.9)"}));
    const auto lines = m_runner.commandLines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), viciLine("list-sas " + plainName)), 2)
        << "one listing for the address, one for the SA test";
    EXPECT_THAT(logLines(),
                Contains("ipsec interface discovered via netstat: ipsec1 (VIP 192.0.2.9)"))
        << "ipsec0 belongs to another tunnel and link-layer entries never count";
}

TEST_F(EngineTest, AMissingViciConnectionOnlyWarns) {
    m_vici.failConnect = true;
    const VPNProfile a = profile("A");
    acceptTunnel(a, "10.99.0.1");
    EXPECT_EQ(start(a).code, 0);
    const auto lines = logLines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(),
                         "warning: could not connect libvici for events; status will rely on "
                         "initiate result"),
              1);
}

TEST_F(EngineTest, ALeakCheckBehindAStuckStartIsAnsweredBusyOnceAndNeverRuns) {
    const VPNProfile office = profile("Office");
    acceptTunnel(office, "10.99.0.7");
    // The start holds the queue inside its initiation until released.
    std::promise<void> entered;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::once_flag enteredOnce;
    m_runner.setHook([&](const RecordedCommand& call) -> std::optional<CommandResult> {
        if (call.commandLine().starts_with(viciLine("initiate"))) {
            std::call_once(enteredOnce, [&] { entered.set_value(); });
            released.wait();
        }
        return std::nullopt;
    });
    auto started = std::async(std::launch::async, [&] { return start(office); });
    entered.get_future().wait();

    std::atomic<int> replies{0};
    std::promise<std::string> firstReply;
    m_engine->leakCheck([&](std::string json) {
        if (replies++ == 0) {
            firstReply.set_value(std::move(json));
        }
    });
    // Answered while the queue is still held.
    const auto findings = decodeLeakFindings(firstReply.get_future().get());
    ASSERT_TRUE(findings.hasValue());
    ASSERT_EQ(findings->size(), 1u);
    EXPECT_EQ(findings->front().check, "check");
    EXPECT_EQ(findings->front().level, kLeakWarning);
    EXPECT_EQ(findings->front().hint, "Run the check again in a moment.");

    m_runner.clearCalls();
    release.set_value();
    EXPECT_EQ(started.get(), (Reply{0, "Connected (10.99.0.7)"}));
    drainQueue();
    EXPECT_EQ(replies.load(), 1);
    EXPECT_THAT(m_runner.commandLines(), ::testing::Not(Contains(viciLine("list-all-sas"))))
        << "the late check must not run for a caller already answered";
}

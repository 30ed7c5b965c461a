#include "tests/helper/engine/EngineTestFixture.h"

#include <algorithm>

#include <gmock/gmock.h>

using namespace torvane;
using namespace torvane::testing;
using ::testing::Contains;
using ::testing::Not;

namespace {

class EngineHealthTest : public EngineTest {
protected:
    /// A connected tunnel pinging 10.200.0.1 every `interval` seconds.
    VPNProfile connect(const std::string& name, std::int64_t interval = 10) {
        VPNProfile p = profile(name);
        p.keepaliveIP = "10.200.0.1";
        p.keepaliveInterval = interval;
        acceptTunnel(p, "10.99.0.1");
        EXPECT_EQ(start(p).code, 0);
        return p;
    }

    std::size_t pings() const { return m_runner.commandLinesFor("ping").size(); }

    long count(const std::string& line) const {
        const auto lines = logLines();
        return std::count(lines.begin(), lines.end(), line);
    }

    VPNTunnelStatus tunnel(const VPNProfile& p) const {
        const auto snapshot = m_engine->statusSnapshot();
        const VPNTunnelStatus* status = snapshot.tunnel(p.id.upperText());
        return status ? *status : VPNTunnelStatus{};
    }

    /// charon reports the child SA of `p` gone.
    void dropSA(const VPNProfile& p) {
        m_runner.setResult("vici", {"list-sas", "ov-" + p.id.lowerText()}, {0, ""});
        m_vici.last->onEvent("child-updown");
        drainQueue();
    }

    /// What `swanctl --list-sas` prints for an established tunnel.
    static std::string listing(const VPNProfile& p, const std::string& vip) {
        const std::string name = "ov-" + p.id.lowerText();
        return name + ": #1, ESTABLISHED, IKEv2\n  local  'c' @ 10.10.0.2[4500] [" + vip +
               "]\n  remote 'gw' @ 10.10.0.1[4500]\n  " + name + ": #1, reqid 1, INSTALLED";
    }
};

} // namespace

TEST_F(EngineHealthTest, KeepaliveFirstPingAfterTheRawIntervalThenEveryFiveSecondsAtLeast) {
    connect("Short", 2);
    connect("Long", 60);
    EXPECT_EQ(m_clock.startedTimers().back().period, 60) << "a long interval is kept as it is";

    advance(1.9);
    EXPECT_EQ(pings(), 0U);
    advance(0.1);
    EXPECT_EQ(pings(), 1U);
    EXPECT_EQ(m_runner.commandLinesFor("ping").front(),
              "/usr/bin/ping -s 1 -W 3 -c 1 -- 10.200.0.1");
    advance(5);
    advance(5);
    EXPECT_EQ(pings(), 3U);

    // A profile without a keepalive address gets no timer at all.
    const auto active = m_clock.activeTimers();
    VPNProfile quiet = profile("Quiet");
    acceptTunnel(quiet, "10.99.0.3");
    ASSERT_EQ(start(quiet).code, 0);
    EXPECT_EQ(m_clock.activeTimers(), active);
}

TEST_F(EngineHealthTest, OnlyAnIPAddressIsPingedAnythingElseCountsAsAFailure) {
    VPNProfile odd = profile("Odd");
    odd.keepaliveIP = "-f";
    odd.keepaliveInterval = 5;
    acceptTunnel(odd, "10.99.0.1");
    ASSERT_EQ(start(odd).code, 0);
    VPNProfile six = profile("Six");
    six.keepaliveIP = "fd00:200::1";
    six.keepaliveInterval = 5;
    acceptTunnel(six, "10.99.0.2");
    ASSERT_EQ(start(six).code, 0);
    advance(5);
    EXPECT_EQ(m_runner.commandLinesFor("ping"),
              std::vector<std::string>{"/usr/bin/ping -s 1 -W 3 -c 1 -- fd00:200::1"});
    EXPECT_EQ(count("keepalive address '-f' is not an IP address — ping not run"), 1);
    EXPECT_EQ(count("keepalive ping failed for 'Odd' (1/8)"), 1);
}

TEST_F(EngineHealthTest, TicksWhileAPingIsInFlightAreSkipped) {
    connect("Office", 5);
    holdPings = true;
    advance(5);
    advance(5);
    advance(5);
    EXPECT_EQ(pings(), 0U) << "held pings have not run";
    m_runner.setResult("ping", {}, {1, ""});
    runHeldPings();
    EXPECT_EQ(pings(), 1U) << "one ping in flight, two ticks skipped";
    EXPECT_EQ(count("keepalive ping failed for 'Office' (1/8)"), 1);
    EXPECT_EQ(count("keepalive ping failed for 'Office' (2/8)"), 0)
        << "skipped ticks are not counted";
}

TEST_F(EngineHealthTest, EightConsecutiveFailuresReconnectSevenDoNot) {
    const VPNProfile office = connect("Office", 5);
    m_runner.setResult("ping", {}, {1, ""});
    for (int i = 0; i < 7; ++i) {
        advance(5);
    }
    EXPECT_EQ(count("keepalive ping failed for 'Office' (7/8)"), 1);
    m_runner.setResult("ping", {}, {0, ""});
    advance(5);
    m_runner.setResult("ping", {}, {1, ""});
    advance(5);
    EXPECT_EQ(count("keepalive ping failed for 'Office' (1/8)"), 2) << "a success resets";
    EXPECT_THAT(logLines(), Not(Contains("reconnecting 'Office' (keepalive failed 8×)")));

    for (int i = 0; i < 7; ++i) {
        advance(5);
    }
    EXPECT_EQ(count("keepalive ping failed for 'Office' (8/8)"), 1);
    EXPECT_EQ(count("reconnecting 'Office' (keepalive failed 8×)"), 1);
    EXPECT_EQ(tunnel(office).state, VPNConnState::connected);
    advance(5);
    EXPECT_EQ(count("keepalive ping failed for 'Office' (1/8)"), 3)
        << "the reconnect reset the counter";
}

TEST_F(EngineHealthTest, APingResultForAStoppedTunnelIsDropped) {
    const VPNProfile office = connect("Office", 5);
    holdPings = true;
    advance(5);
    ASSERT_EQ(stop(office.id.upperText()).code, 0);
    m_runner.setResult("ping", {}, {1, ""});
    runHeldPings();
    EXPECT_THAT(logLines(), Not(Contains("keepalive ping failed for 'Office' (1/8)")));
    advance(5);
    EXPECT_EQ(pings(), 1U) << "the stopped tunnel's timer is gone";
}

TEST_F(EngineHealthTest, SADownEventsAreCheckedOnceAfterThreeSecondsWithACooldown) {
    const VPNProfile office = connect("Office");
    dropSA(office);
    EXPECT_EQ(tunnel(office).state, VPNConnState::reconnecting);
    EXPECT_EQ(tunnel(office).message, "SA down — reconnecting…");
    advance(1);
    dropSA(office);
    const auto timers = m_clock.startedTimers();
    EXPECT_EQ(std::count_if(timers.begin(), timers.end(),
                            [](const auto& timer) { return timer.delay == 3 && !timer.period; }),
              1)
        << "two events within 3 s, one pending check";
    advance(1.9);
    EXPECT_EQ(count("reconnecting 'Office' (SA down (VICI event))"), 0);
    acceptTunnel(office, "10.99.0.1");
    m_runner.queueResult("vici", {"list-sas"}, {0, ""});
    advance(0.1);
    advance(3);
    EXPECT_EQ(count("reconnecting 'Office' (SA down (VICI event))"), 1);
    EXPECT_EQ(tunnel(office).state, VPNConnState::connected);

    // Within 10 s of that attempt a new SA-down check leaves it alone.
    advance(4);
    dropSA(office);
    advance(3);
    EXPECT_EQ(count("reconnecting 'Office' (SA down (VICI event))"), 1);
    EXPECT_EQ(tunnel(office).state, VPNConnState::reconnecting) << "left for the watchdog";
}

TEST_F(EngineHealthTest, AFailedReconnectEndsInErrorAndTheWatchdogRetriesAfter25Seconds) {
    const VPNProfile office = connect("Office");
    const VPNProfile home = connect("Home");
    const std::string name = "ov-" + office.id.lowerText();
    m_runner.setResult("vici", {"list-all-sas"}, {0, listing(home, "10.99.0.1")});
    m_runner.setResult("vici", {"initiate", name}, {1, "initiate failed: no response"});
    m_runner.setResult("vici", {"list-sas", name}, {0, ""});
    m_runner.clearCalls();

    advance(20); // t = 20: the SA goes down; checked at 23
    dropSA(office);
    advance(3);
    EXPECT_EQ(tunnel(office).state, VPNConnState::error);
    EXPECT_THAT(tunnel(office).message.value_or(""),
                ::testing::StartsWith("Reconnect failed: Tunnel did not establish"));
    const auto lines = m_runner.commandLines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), swanctlLine("--terminate --ike " + name)), 2)
        << "terminated before the attempt and again after it failed";

    // The watchdog fires at 30 (7 s after the attempt: too soon), 60 (retry).
    advance(7);
    EXPECT_EQ(count("reconnecting 'Office' (retry watchdog)"), 0);
    advance(30);
    EXPECT_EQ(count("reconnecting 'Office' (retry watchdog)"), 1);
    EXPECT_EQ(count("reconnecting 'Home' (retry watchdog)"), 0) << "connected: never retried";
}

TEST_F(EngineHealthTest, PathChangeReconnectsADeadTunnelWithACooldown) {
    const VPNProfile office = connect("Office");
    ASSERT_NE(m_store, nullptr);
    EXPECT_THAT(m_store->notificationKeys(), Contains("State:/Network/Global/IPv4"));
    const auto changed = [&] {
        m_store->notify({"State:/Network/Global/IPv4"});
        drainQueue();
    };
    // A dead tunnel is reconnected, unless it was tried within 10 s.
    m_runner.queueResult("ping", {}, {1, ""});
    changed();
    advance(3);
    EXPECT_EQ(count("reconnecting 'Office' (network path changed)"), 1);
    m_runner.queueResult("ping", {}, {1, ""});
    changed();
    advance(3);
    EXPECT_EQ(count("network path changed — verifying 1 tunnel(s)"), 2);
    EXPECT_EQ(count("reconnecting 'Office' (network path changed)"), 1) << "cooldown";
    (void)office;
}

TEST_F(EngineHealthTest, WakeVerifiesEveryTunnelWithoutCooldown) {
    m_engine->registerPowerNotifications();
    ASSERT_TRUE(m_power);
    const VPNProfile office = connect("Office");

    // Office is reconnected after an SA-down event; 5 s later the machine
    // sleeps and wakes, and its keepalive target no longer answers.
    m_runner.queueResult("vici", {"list-sas", "ov-" + office.id.lowerText()}, {0, ""});
    m_vici.last->onEvent("child-updown");
    drainQueue();
    advance(3);
    ASSERT_EQ(count("reconnecting 'Office' (SA down (VICI event))"), 1);
    advance(5);
    m_runner.setResult("ping", {}, {1, ""});
    m_power(PowerMessage::systemWillSleep);
    m_power(PowerMessage::systemHasPoweredOn);
    drainQueue();
    EXPECT_EQ(count("system woke — verifying tunnels"), 1);
    EXPECT_EQ(count("reconnecting 'Office' (woke from sleep)"), 1) << "no cooldown after wake";
}

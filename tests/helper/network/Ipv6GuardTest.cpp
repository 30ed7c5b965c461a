#include "Ipv6Guard.h"

#include "FakeRoutes.h"
#include "RecordingCommandRunner.h"

#include <memory>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace torvane;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

const std::string kTool = "/opt/torvane/tools/networksetup";

const std::string kServiceOrder = "An asterisk (*) denotes that a network service is disabled.\n"
                                  "(1) Wi-Fi\n"
                                  "(Hardware Port: Wi-Fi, Device: en0)\n"
                                  "\n"
                                  "(2) Ethernet\n"
                                  "(Hardware Port: Ethernet, Device: en1)\n"
                                  "\n"
                                  "(*) Old Modem\n"
                                  "(Hardware Port: Modem, Device: modem0)\n"
                                  "\n"
                                  "(3) Office Manual\n"
                                  "(Hardware Port: USB LAN, Device: en5)\n";

class Ipv6GuardTest : public ::testing::Test {
protected:
    Ipv6GuardTest()
        : m_locator("/opt/torvane/torvane-helper"), m_context{m_runner,
                                                              m_routes,
                                                              m_locator,
                                                              "/run/torvane/run",
                                                              [this](const std::string& line) {
                                                                  m_log.push_back(line);
                                                              },
                                                              [](const std::string&) {
                                                              }},
          m_guard(m_context) {
        m_runner.setResult(kTool, {"-listnetworkserviceorder"}, {0, kServiceOrder});
        m_runner.setResult(kTool, {"-getinfo", "Wi-Fi"},
                           {0, "DHCP Configuration\nIP address: 192.0.2.7\nIPv6: Automatic\n"
                               "IPv6 IP address: none"});
        m_runner.setResult(kTool, {"-getinfo", "Ethernet"}, {0, "IPv6: Off"});
        m_runner.setResult(kTool, {"-getinfo", "Office Manual"}, {0, "  IPv6:   Manual  "});
    }

    Tunnel& addTunnel(bool preventLeak, std::vector<std::string> routes,
                      std::optional<std::string> vip = "10.99.0.1") {
        VPNProfile profile;
        profile.preventIPv6Leak = preventLeak;
        profile.routes = std::move(routes);
        auto tunnel = std::make_unique<Tunnel>(profile);
        tunnel->vip = std::move(vip);
        tunnel->tun = "ipsec0";
        m_tunnels.push_back(std::move(tunnel));
        return *m_tunnels.back();
    }
    std::vector<Tunnel*> tunnels() const {
        std::vector<Tunnel*> list;
        for (const auto& tunnel : m_tunnels) {
            list.push_back(tunnel.get());
        }
        return list;
    }
    std::vector<std::string> changes() const {
        std::vector<std::string> lines;
        for (const auto& line : m_runner.commandLines()) {
            if (line.find(" -set") != std::string::npos) {
                lines.push_back(line);
            }
        }
        return lines;
    }

    RecordingCommandRunner m_runner;
    FakeRoutes m_routes;
    BundleLocator m_locator;
    NetworkContext m_context;
    Ipv6Guard m_guard;
    std::vector<std::unique_ptr<Tunnel>> m_tunnels;
    std::vector<std::string> m_log;
};

} // namespace

TEST_F(Ipv6GuardTest, AFullIPv4TunnelSwitchesOffEveryEnabledServiceThatHadIPv6) {
    addTunnel(true, {"0.0.0.0/0"});
    m_guard.reconcileIPv6(tunnels());

    EXPECT_THAT(m_runner.commandLines(),
                ElementsAre(kTool + " -listnetworkserviceorder", kTool + " -getinfo Wi-Fi",
                            kTool + " -setv6off Wi-Fi", kTool + " -getinfo Ethernet",
                            kTool + " -getinfo Office Manual", kTool + " -setv6off Office Manual"));
    EXPECT_THAT(m_log, ElementsAre("IPv6 disabled on 'Wi-Fi' (was: Automatic) — leak prevention",
                                   "IPv6 disabled on 'Office Manual' (was: Manual) — leak "
                                   "prevention"));
    EXPECT_TRUE(m_guard.ipv6LeakPreventionActive());
    EXPECT_THAT(m_guard.savedIPv6Settings(),
                ElementsAre(SavedIPv6Setting{"Wi-Fi", "Automatic"},
                            SavedIPv6Setting{"Office Manual", "Manual"}));

    // A second qualifying tunnel changes nothing while the hold is on.
    addTunnel(true, {"0.0.0.0/0"}, "10.99.0.2");
    m_runner.clearCalls();
    m_guard.reconcileIPv6(tunnels());
    EXPECT_THAT(m_runner.commandLines(), IsEmpty());

    // Releasing restores what it can and says why it skips the rest.
    m_log.clear();
    m_tunnels.clear();
    m_guard.reconcileIPv6(tunnels());
    EXPECT_THAT(m_runner.commandLines(), ElementsAre(kTool + " -setv6automatic Wi-Fi"));
    EXPECT_THAT(m_log, ElementsAre("IPv6 restored on 'Wi-Fi' → Automatic",
                                   "IPv6 restore: unrecognised saved mode 'Manual' for 'Office "
                                   "Manual' — skipping"));
    EXPECT_FALSE(m_guard.ipv6LeakPreventionActive());
    EXPECT_THAT(m_guard.savedIPv6Settings(), IsEmpty());
}

// Which routes make a full IPv4 tunnel is settled in the route table's tests.
TEST_F(Ipv6GuardTest, OnlyLiveLeakPreventingFullIPv4TunnelsEngageIt) {
    addTunnel(false, {"0.0.0.0/0"}); // does not ask
    auto& down = addTunnel(true, {"0.0.0.0/0"}, std::nullopt);
    down.tun.reset(); // not up
    m_guard.reconcileIPv6(tunnels());
    EXPECT_THAT(m_runner.commandLines(), IsEmpty());
    EXPECT_FALSE(m_guard.ipv6LeakPreventionActive());
}

TEST_F(Ipv6GuardTest, AReconnectingTunnelReleasesAndReengages) {
    auto& tunnel = addTunnel(true, {"0.0.0.0/0"});
    m_guard.reconcileIPv6(tunnels());
    tunnel.vip.reset();
    tunnel.tun.reset();
    m_guard.reconcileIPv6(tunnels());
    tunnel.vip = "10.99.0.1";
    tunnel.tun = "ipsec0";
    m_guard.reconcileIPv6(tunnels());
    EXPECT_THAT(changes(),
                ElementsAre(kTool + " -setv6off Wi-Fi", kTool + " -setv6off Office Manual",
                            kTool + " -setv6automatic Wi-Fi", kTool + " -setv6off Wi-Fi",
                            kTool + " -setv6off Office Manual"));
}

TEST_F(Ipv6GuardTest, AFailedRestoreIsLoggedAndNotRetried) {
    m_runner.setResult(kTool, {"-getinfo", "Wi-Fi"}, {0, "IPv6: LinkLocal"});
    m_runner.setResult(kTool, {"-setv6LinkLocal"}, {1, "networksetup: could not set it"});
    addTunnel(true, {"0.0.0.0/0"});
    m_guard.reconcileIPv6(tunnels());
    m_log.clear();

    m_guard.restoreIPv6();
    EXPECT_THAT(m_log, ElementsAre("IPv6 restore FAILED on 'Wi-Fi' → LinkLocal (exit 1): "
                                   "networksetup: could not set it",
                                   "IPv6 restore: unrecognised saved mode 'Manual' for 'Office "
                                   "Manual' — skipping"));
    m_runner.clearCalls();
    m_log.clear();
    m_guard.restoreIPv6();
    EXPECT_THAT(m_runner.commandLines(), IsEmpty());
    EXPECT_THAT(m_log, IsEmpty());
}

TEST_F(Ipv6GuardTest, ServicesWithoutAReadableModeAreLeftAlone) {
    m_runner.setResult(kTool, {"-getinfo", "Wi-Fi"},
                       {1, "Wi-Fi is not a recognized network service"});
    m_runner.setResult(kTool, {"-getinfo", "Office Manual"}, {0, "Device: en5\nIPv6:"});
    addTunnel(true, {"0.0.0.0/0"});
    m_guard.reconcileIPv6(tunnels());
    EXPECT_THAT(changes(), IsEmpty());
    EXPECT_TRUE(m_guard.ipv6LeakPreventionActive());
}

TEST(Ipv6OutputParsingTest, ServiceOrderKeepsEnabledServicesWithAHardwarePort) {
    EXPECT_THAT(parseNetworkServiceOrder(kServiceOrder),
                ElementsAre("Wi-Fi", "Ethernet", "Office Manual"));
    // A name waits for its port line, across lines that are neither; a
    // numbered line replaces it; a disabled one clears it.
    EXPECT_THAT(parseNetworkServiceOrder("(1) Lost\n(2) A) B\n  (no close paren\n"
                                         "\t(Hardware Port: x, Device: y)\t\n"
                                         "(3) Gone\n(*) Off\n(Hardware Port: z)\n"
                                         "(Hardware Port: w)\n"),
                ElementsAre("A) B"));
    EXPECT_THAT(parseNetworkServiceOrder(""), IsEmpty());
}

TEST(Ipv6OutputParsingTest, ModeIsTheFirstIPv6Line) {
    EXPECT_EQ(parseIPv6Mode("IPv6 IP address: none\nIPv6: LinkLocal\nIPv6: Off"), "LinkLocal");
    EXPECT_EQ(parseIPv6Mode("  IPv6: \tAutomatic \n"), "Automatic");
    EXPECT_EQ(parseIPv6Mode("IPv6: "), std::nullopt); // trimmed to "IPv6:"
    EXPECT_EQ(parseIPv6Mode("ipv6: Off"), std::nullopt);
}

#include "helper/network/Ipv6Guard.h"

#include "tests/helper/network/NetworkFakes.h"

#include <memory>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace torvane;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

class Ipv6GuardTest : public ::testing::Test, protected NetworkFakes {
protected:
    Ipv6GuardTest() {
        ipv6.addService("wlan0", Ipv6Mode::automatic);
        ipv6.addService("eth0", Ipv6Mode::off);
        ipv6.addService("modem0", Ipv6Mode::automatic, false); // down: a disabled service
        ipv6.addService("usb0", Ipv6Mode::linkLocal);
        ipv6.addService("sit0", std::nullopt); // no IPv6 settings to read
    }

    Tunnel& addTunnel(bool preventLeak, std::vector<std::string> networks,
                      std::optional<std::string> vip = "10.99.0.1") {
        VPNProfile profile;
        profile.preventIPv6Leak = preventLeak;
        profile.routes = std::move(networks);
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

    Ipv6Guard m_guard{context};
    std::vector<std::unique_ptr<Tunnel>> m_tunnels;
};

} // namespace

// Which routes make a full IPv4 tunnel is settled in the route table's tests.
TEST_F(Ipv6GuardTest, OnlyLiveLeakPreventingFullIPv4TunnelsEngageIt) {
    addTunnel(false, {"0.0.0.0/0"}); // does not ask
    auto& down = addTunnel(true, {"0.0.0.0/0"}, std::nullopt);
    down.tun.reset(); // not up
    m_guard.reconcileIPv6(tunnels());
    EXPECT_THAT(ipv6.changes(), IsEmpty());
    EXPECT_FALSE(m_guard.ipv6LeakPreventionActive());
}

TEST_F(Ipv6GuardTest, AFailedRestoreIsLoggedAndNotRetried) {
    addTunnel(true, {"0.0.0.0/0"});
    m_guard.reconcileIPv6(tunnels());
    ipv6.failSetMode("usb0", {13, "could not set /proc/sys/net/ipv6/conf/usb0/autoconf: "
                                  "Permission denied"});
    logs.clear();

    m_guard.restoreIPv6();
    EXPECT_THAT(logs, ElementsAre("IPv6 restored on 'wlan0' → Automatic",
                                  "IPv6 restore FAILED on 'usb0' → LinkLocal (exit 13): could not "
                                  "set /proc/sys/net/ipv6/conf/usb0/autoconf: Permission denied"));
    ipv6.clearChanges();
    logs.clear();
    m_guard.restoreIPv6();
    EXPECT_THAT(ipv6.changes(), IsEmpty());
    EXPECT_THAT(logs, IsEmpty());
}

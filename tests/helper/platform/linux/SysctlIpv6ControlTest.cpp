#include "helper/platform/linux/SysctlIpv6Control.h"

#include "tests/helper/platform/linux/TestSupport.h"

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

namespace torvane {
namespace {

// The guard on the real switches of a namespace is the network bed's IPv6 row
// (tests/netns/network_e2e.sh), where every interface starts out automatic;
// here the other modes, and what a namespace cannot easily show.
class SysctlIpv6ControlTest : public ::testing::Test {
protected:
    void give(const std::string& device, int disable, int autoconf, int acceptRa) {
        std::filesystem::create_directories(m_dir.path() / device);
        write(device, "disable_ipv6", disable);
        write(device, "autoconf", autoconf);
        write(device, "accept_ra", acceptRa);
    }
    void write(const std::string& device, const std::string& name, int value) {
        std::ofstream(m_dir.path() / device / name) << value << "\n";
    }
    std::string read(const std::string& device, const std::string& name) {
        std::ifstream file(m_dir.path() / device / name);
        std::string value;
        file >> value;
        return value;
    }

    test::TempDir m_dir;
    SysctlIpv6Control m_control{m_dir.path().string()};
};

TEST_F(SysctlIpv6ControlTest, ARoutersAcceptRaIsKeptWhenItsModeIsPutBack) {
    give("eth0", 0, 1, 2);
    EXPECT_EQ(m_control.mode("eth0"), Ipv6Mode::automatic);
    EXPECT_FALSE(m_control.setMode("eth0", Ipv6Mode::off));
    EXPECT_EQ(m_control.mode("eth0"), Ipv6Mode::off);
    EXPECT_FALSE(m_control.setMode("eth0", Ipv6Mode::automatic));
    EXPECT_EQ(read("eth0", "accept_ra"), "2");
    EXPECT_EQ(read("eth0", "disable_ipv6"), "0");
}

TEST_F(SysctlIpv6ControlTest, LinkLocalAndOffAreReadAndALinkLocalModeComesBack) {
    give("usb0", 0, 0, 0);
    give("eth1", 1, 1, 1);
    EXPECT_EQ(m_control.mode("usb0"), Ipv6Mode::linkLocal);
    EXPECT_EQ(m_control.mode("eth1"), Ipv6Mode::off);
    EXPECT_FALSE(m_control.setMode("usb0", Ipv6Mode::off));
    EXPECT_EQ(read("usb0", "disable_ipv6"), "1");
    EXPECT_FALSE(m_control.setMode("usb0", Ipv6Mode::linkLocal));
    EXPECT_EQ(read("usb0", "disable_ipv6") + read("usb0", "autoconf") + read("usb0", "accept_ra"),
              "000");
}

TEST_F(SysctlIpv6ControlTest, AnInterfaceWithoutSwitchesIsNeverCreated) {
    for (const std::string name : {"missing", "../eth0", "..", ""}) {
        const auto error = m_control.setMode(name, Ipv6Mode::off);
        ASSERT_TRUE(error) << name;
        EXPECT_EQ(error->message, name + ": IPv6 is not available on this interface");
    }
    EXPECT_TRUE(std::filesystem::is_empty(m_dir.path()));
}

} // namespace
} // namespace torvane

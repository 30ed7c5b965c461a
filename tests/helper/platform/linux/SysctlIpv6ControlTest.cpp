#include "SysctlIpv6Control.h"

#include "TestSupport.h"

#include <filesystem>
#include <fstream>
#include <map>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace torvane {
namespace {

using ::testing::ElementsAre;

// The real switches of a namespace are exercised by the IPv6 guard's
// namespace test; here the readings and the order of the writes.
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
    SysctlIpv6Control m_control{{.confRoot = m_dir.path().string(), .listServices = [] {
                                     return std::vector<NetworkService>{{"eth0", true}};
                                 }}};
};

TEST_F(SysctlIpv6ControlTest, ReadsEachModeAndSetsItBack) {
    give("eth0", 0, 1, 1);
    give("eth1", 0, 1, 2);
    give("eth2", 0, 0, 1);
    give("eth3", 1, 1, 1);
    EXPECT_EQ(m_control.mode("eth0"), Ipv6Mode::automatic);
    EXPECT_EQ(m_control.mode("eth1"), Ipv6Mode::automatic) << "a router's accept_ra 2";
    EXPECT_EQ(m_control.mode("eth2"), Ipv6Mode::linkLocal);
    EXPECT_EQ(m_control.mode("eth3"), Ipv6Mode::off);
    EXPECT_EQ(m_control.mode("missing"), std::nullopt);
    EXPECT_EQ(m_control.mode(".."), std::nullopt);
    EXPECT_THAT(m_control.services(), ElementsAre(NetworkService{"eth0", true}));

    EXPECT_FALSE(m_control.setMode("eth1", Ipv6Mode::off));
    EXPECT_EQ(read("eth1", "disable_ipv6"), "1");
    EXPECT_FALSE(m_control.setMode("eth1", Ipv6Mode::automatic));
    EXPECT_EQ(m_control.mode("eth1"), Ipv6Mode::automatic);
    EXPECT_EQ(read("eth1", "accept_ra"), "2") << "kept as it was";
    EXPECT_FALSE(m_control.setMode("eth2", Ipv6Mode::off));
    EXPECT_FALSE(m_control.setMode("eth2", Ipv6Mode::linkLocal));
    EXPECT_EQ(m_control.mode("eth2"), Ipv6Mode::linkLocal);
    EXPECT_FALSE(m_control.setMode("eth3", Ipv6Mode::automatic));
    EXPECT_EQ(m_control.mode("eth3"), Ipv6Mode::automatic);
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

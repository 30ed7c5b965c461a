#include "helper/network/DnsProxy.h"

#include "helper/process/EngineError.h"
#include "tests/fakes/FakeClock.h"
#include "tests/fakes/FakeProcessLauncher.h"
#include "tests/helper/network/NetworkFakes.h"
#include "tests/helper/platform/linux/TestSupport.h"

#include <filesystem>
#include <fstream>
#include <sys/stat.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace torvane;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

class DnsProxyTest : public ::testing::Test, protected NetworkFakes {
protected:
    void SetUp() override {
        std::filesystem::create_directories(m_root / "run");
        std::filesystem::create_directories(m_root / "Resources/dnsmasq/sbin");
        std::ofstream(m_root / "Resources/dnsmasq/sbin/dnsmasq") << "#!/bin/sh\n";
        std::filesystem::permissions(m_root / "Resources/dnsmasq/sbin/dnsmasq",
                                     std::filesystem::perms::owner_all);
        locator = BundleLocator((m_root / "torvane-helper").string());
        context.stagingRoot = (m_root / "run").string();
        context.appLog = [this](const std::string& line) {
            m_appLog.push_back(line);
        };
        m_proxy = std::make_unique<DnsProxy>(context, m_launcher, m_clock);
    }

    std::string program() const { return (m_root / "Resources/dnsmasq/sbin/dnsmasq").string(); }
    std::string configFile() const { return (m_root / "run/dnsmasq.conf").string(); }
    /// The message of the EngineError that starting `profile` throws.
    std::string startFailure(const VPNProfile& profile) {
        try {
            m_proxy->startDnsmasq(profile, {});
        } catch (const EngineError& error) {
            return error.message();
        }
        return "started";
    }
    test::TempDir m_tmp;
    std::filesystem::path m_root = m_tmp.path();
    FakeProcessLauncher m_launcher;
    FakeClock m_clock;
    std::unique_ptr<DnsProxy> m_proxy;
    std::vector<std::string> m_appLog;
};

VPNProfile proxiedProfile() {
    VPNProfile profile;
    profile.name = "Office";
    profile.dnsmasqEnabled = true;
    profile.dnsServers = {"10.0.0.53", "10.0.0.54"};
    return profile;
}

} // namespace

TEST_F(DnsProxyTest, OutputOfARunningProxyGoesToTheAppLogLineByLine) {
    m_clock.onSleep = [this] {
        m_launcher.lastChild()->pushOutput("started, version 2.89\n");
    };
    m_proxy->startDnsmasq(proxiedProfile(), {});
    logs.clear();
    // What the configuration says is proven by the proxy on the test bed.
    struct stat info {};
    ASSERT_EQ(::stat(configFile().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);

    auto child = m_launcher.lastChild();
    child->pushOutput("using nameserver 10.0.0.53#53\n\nusing name");
    child->pushOutput("server 10.0.0.54#53\r\n");
    EXPECT_THAT(m_appLog, ElementsAre("[dnsmasq] started, version 2.89",
                                      "[dnsmasq] using nameserver 10.0.0.53#53",
                                      "[dnsmasq] using nameserver 10.0.0.54#53"));
    EXPECT_TRUE(logs.empty());
}

TEST_F(DnsProxyTest, AProxyThatDiesDuringTheWaitIsReportedWithItsOutput) {
    m_clock.onSleep = [this] {
        auto child = m_launcher.lastChild();
        child->pushOutput("dnsmasq: failed to create listening socket for 127.0.0.1: Address "
                          "already in use\n\nFAILED to start up");
        child->exit(2);
    };
    EXPECT_EQ(startFailure(proxiedProfile()),
              "dnsmasq exited (status 2) — see log above for details");
    ASSERT_GE(logs.size(), 2u);
    EXPECT_THAT(std::vector<std::string>(logs.end() - 2, logs.end()),
                ElementsAre("[dnsmasq] dnsmasq: failed to create listening socket for "
                            "127.0.0.1: Address already in use",
                            "[dnsmasq] FAILED to start up"));
    EXPECT_TRUE(m_appLog.empty());
    EXPECT_FALSE(m_proxy->isRunning());
    EXPECT_TRUE(m_launcher.lastChild()->released());
    // Nothing to stop afterwards.
    logs.clear();
    m_proxy->stopDnsmasq();
    EXPECT_TRUE(logs.empty());
}

TEST_F(DnsProxyTest, StartFailuresAreReportedAndStartNothing) {
    auto refusedProfile = proxiedProfile();
    refusedProfile.dnsmasqConfig = "port=53\ndhcp-script=/tmp/own-the-box.sh\n";
    EXPECT_THAT(startFailure(refusedProfile), HasSubstr("'dhcp-script' (line 2) is not allowed"));
    EXPECT_FALSE(std::filesystem::exists(configFile()));

    auto badText = proxiedProfile();
    badText.dnsmasqConfig = "server=10.0.0.53 # Z\xfcrich";
    EXPECT_EQ(startFailure(badText), "failed to encode dnsmasq config");

    std::filesystem::remove(program());
    EXPECT_EQ(startFailure(proxiedProfile()),
              "bundled dnsmasq not found at " + program() + " — rebuild the app");
    EXPECT_EQ(m_launcher.commandLines().size(), 0u);
    EXPECT_FALSE(m_proxy->isRunning());

    // Launch errors pass through unchanged.
    std::ofstream(program()) << "#!/bin/sh\n";
    std::filesystem::permissions(program(), std::filesystem::perms::owner_all);
    m_launcher.failNextLaunch("failed to launch dnsmasq: Permission denied");
    EXPECT_EQ(startFailure(proxiedProfile()), "failed to launch dnsmasq: Permission denied");
    EXPECT_FALSE(m_proxy->isRunning());
}

TEST_F(DnsProxyTest, StopAsksPolitelyThenKillsAfterThreeSeconds) {
    m_proxy->startDnsmasq(proxiedProfile(), {});
    m_proxy->setOwnerID(proxiedProfile().id);
    auto stubborn = m_launcher.lastChild();
    stubborn->setExitsOnTerminate(false);
    logs.clear();

    m_proxy->stopDnsmasq();
    EXPECT_EQ(stubborn->terminateCount(), 1);
    EXPECT_EQ(stubborn->killCount(), 1);
    // 0.5 s readiness wait, then 0.05 s polls for 3 s.
    ASSERT_EQ(m_clock.sleeps().size(), 61u);
    EXPECT_EQ(m_clock.sleeps().back(), 0.05);
    EXPECT_THAT(logs, ElementsAre("dnsmasq stopped"));
    EXPECT_FALSE(m_proxy->isRunning());
    EXPECT_FALSE(m_proxy->ownerID());
    EXPECT_TRUE(stubborn->readingStopped());

    m_proxy->startDnsmasq(proxiedProfile(), {});
    auto polite = m_launcher.lastChild();
    m_proxy->stopDnsmasq();
    EXPECT_EQ(polite->terminateCount(), 1);
    EXPECT_EQ(polite->killCount(), 0);

    // Without a proxy, only the owner is cleared.
    m_proxy->setOwnerID(proxiedProfile().id);
    logs.clear();
    m_proxy->stopDnsmasq();
    EXPECT_FALSE(m_proxy->ownerID());
    EXPECT_TRUE(logs.empty());
}

// The route table driving the real route tool of the build tree through the
// real command runner, against the kernel of a network namespace of its own:
//
//   tvr-rc<pid> (client)                          tvr-rp<pid> (peer)
//   +--------------------------------+           +----------------------+
//   | tvr-v0 10.32.0.2/24 -----------+---veth----+- tvr-v1 10.32.0.1/24 |
//   | default via 10.32.0.1          |           +----------------------+
//   | tvr-tun0 (TUN) 10.99.0.1/32,   |
//   |                10.99.0.3/32    |  <- virtual IPs, no host route
//   +--------------------------------+
//
// No packet is sent: only routes change, and only inside the client.
#include "NamespaceSupport.h"
#include "PosixCommandRunner.h"
#include "RouteTable.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <net/if.h>
#include <optional>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

namespace torvane {
namespace {

using test::helperDirectory;

/// Lines without trailing blanks, sorted: `ip` lists routes in kernel order.
std::vector<std::string> sortedLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        line.erase(line.find_last_not_of(" \t") + 1);
        if (!line.empty()) {
            lines.push_back(line);
        }
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

class RouteTableNamespaceTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (geteuid() != 0) {
            GTEST_SKIP() << "needs root to create network namespaces";
        }
        m_ip = test::ipProgram();
        if (!m_ip || access("/dev/net/tun", R_OK | W_OK) != 0) {
            GTEST_SKIP() << "needs iproute2 and /dev/net/tun";
        }
        m_locator.emplace(helperDirectory() + "/torvane-helper");
        if (!isExecutableFile(m_locator->tool("route"))) {
            GTEST_SKIP() << "route tool not built at " << m_locator->tool("route");
        }
        m_context = std::make_unique<NetworkContext>(
            NetworkContext{m_runner, *m_locator, "/tmp/tvr-unused",
                           [this](const std::string& line) { m_logs.push_back(line); },
                           [](const std::string&) {
                           }});
        m_table = std::make_unique<RouteTable>(*m_context);

        const std::string pid = std::to_string(getpid());
        m_client = "tvr-rc" + pid;
        m_peer = "tvr-rp" + pid;
        ip({"netns", "add", m_client});
        ip({"netns", "add", m_peer});
        client({"link", "set", "lo", "up"});
        client(
            {"link", "add", "tvr-v0", "type", "veth", "peer", "name", "tvr-v1", "netns", m_peer});
        client({"addr", "add", "10.32.0.2/24", "dev", "tvr-v0"});
        client({"link", "set", "tvr-v0", "up"});
        ip({"-n", m_peer, "addr", "add", "10.32.0.1/24", "dev", "tvr-v1"});
        ip({"-n", m_peer, "link", "set", "tvr-v1", "up"});
        client({"route", "add", "default", "via", "10.32.0.1"});
        client({"tuntap", "add", "dev", "tvr-tun0", "mode", "tun"});
        client({"link", "set", "tvr-tun0", "up"});
        client({"addr", "add", "10.99.0.1/32", "dev", "tvr-tun0"});
        client({"addr", "add", "10.99.0.3/32", "dev", "tvr-tun0"});
    }

    void TearDown() override {
        for (const auto& name : {m_client, m_peer}) {
            if (!name.empty()) {
                m_runner.runCommand(*m_ip, {"netns", "del", name}, std::nullopt,
                                    std::chrono::seconds(10));
            }
        }
    }

    void ip(std::vector<std::string> args) {
        const auto result =
            m_runner.runCommand(*m_ip, args, std::nullopt, std::chrono::seconds(10));
        ASSERT_EQ(result.status, 0) << "ip failed: " << result.output;
    }
    void client(std::vector<std::string> args) {
        args.insert(args.begin(), {"-n", m_client});
        ip(std::move(args));
    }
    std::vector<std::string> clientRoutes(std::vector<std::string> extra = {}) {
        std::vector<std::string> args{"-n", m_client, "-4", "route", "show"};
        args.insert(args.end(), extra.begin(), extra.end());
        return sortedLines(
            m_runner.runCommand(*m_ip, args, std::nullopt, std::chrono::seconds(10)).output);
    }
    std::vector<std::string> allRoutes() {
        return sortedLines(m_runner
                               .runCommand(*m_ip, {"-n", m_client, "route", "show", "table", "all"},
                                           std::nullopt, std::chrono::seconds(10))
                               .output);
    }

    /// Runs `work` inside the client, whose table the route tool changes.
    void inClient(const std::function<void()>& work) {
        test::inNamespace(m_client, [&] {
            if (if_nametoindex("tvr-tun0") != 0) {
                work();
            } else {
                ADD_FAILURE() << "no tvr-tun0 in " << m_client;
            }
        });
    }

    Tunnel& tunnel(const std::string& name, std::int64_t priority, std::vector<std::string> routes,
                   const std::string& remoteAddr) {
        VPNProfile profile;
        profile.name = name;
        profile.priority = priority;
        profile.routes = std::move(routes);
        profile.remoteAddr = remoteAddr;
        return *m_tunnels.emplace_back(std::make_unique<Tunnel>(profile));
    }

    PosixCommandRunner m_runner;
    std::optional<std::string> m_ip;
    std::optional<BundleLocator> m_locator;
    std::unique_ptr<NetworkContext> m_context;
    std::unique_ptr<RouteTable> m_table;
    std::vector<std::string> m_logs;
    std::string m_client;
    std::string m_peer;
    std::vector<std::unique_ptr<Tunnel>> m_tunnels;
};

TEST_F(RouteTableNamespaceTest, RealToolFollowsPrioritiesFullTunnelAndTeardown) {
    const auto baselineMain = clientRoutes();
    const auto baselineAll = allRoutes();
    ASSERT_FALSE(baselineMain.empty());

    Tunnel& alpha = tunnel("alpha", 0, {"10.60.0.0/16", "10.61.0.0/16"}, "192.0.2.10");
    alpha.vip = "10.99.0.1";
    alpha.tun = "tvr-tun0";
    Tunnel& beta = tunnel("beta", 1, {"10.61.0.0/16", "10.62.0.0/16"}, "beta.invalid");
    beta.tun = "tvr-tun0";
    beta.remoteIP = "192.0.2.21";

    const auto expectMain = [&](std::vector<std::string> ours) {
        ours.insert(ours.end(), baselineMain.begin(), baselineMain.end());
        std::sort(ours.begin(), ours.end());
        EXPECT_EQ(clientRoutes(), ours);
    };
    const std::string viaAlpha = " dev tvr-tun0 proto 116 scope link src 10.99.0.1 linkdown";
    const std::string viaBeta = " dev tvr-tun0 proto 116 scope link linkdown";

    inClient([&] { m_table->reconcile({&alpha, &beta}, {&alpha, &beta}); });
    expectMain({"10.60.0.0/16" + viaAlpha, "10.61.0.0/16" + viaAlpha, "10.62.0.0/16" + viaBeta});

    beta.priority = 0;
    alpha.priority = 1;
    inClient([&] { m_table->reconcile({&beta, &alpha}, {&alpha, &beta}); });
    expectMain({"10.60.0.0/16" + viaAlpha, "10.61.0.0/16" + viaBeta, "10.62.0.0/16" + viaBeta});

    Tunnel& full = tunnel("full", 2, {"0.0.0.0/0"}, "192.0.2.30");
    full.vip = "10.99.0.3";
    inClient([&] { m_table->reconcile({&beta, &alpha, &full}, {&alpha, &beta, &full}); });
    const std::string viaFull = " dev tvr-tun0 proto 116 scope link src 10.99.0.3 linkdown";
    const std::string viaPhysical = " via 10.32.0.1 dev tvr-v0 proto 116";
    expectMain({"0.0.0.0/1" + viaFull, "128.0.0.0/1" + viaFull, "10.60.0.0/16" + viaAlpha,
                "10.61.0.0/16" + viaBeta, "10.62.0.0/16" + viaBeta, "192.0.2.10" + viaPhysical,
                "192.0.2.21" + viaPhysical, "192.0.2.30" + viaPhysical});
    EXPECT_EQ(m_table->underlyingDefaultGateway(), "10.32.0.1");
    EXPECT_TRUE(m_table->carriesAllIPv4());
    for (const auto& line : m_logs) {
        EXPECT_EQ(line.find("failed"), std::string::npos) << line;
        EXPECT_TRUE(line.ends_with(": ok") || line.starts_with("gateway exclusion route: ") ||
                    line.starts_with("route removed: "))
            << line;
    }

    inClient([&] { m_table->removeAllRoutes(); });
    EXPECT_EQ(allRoutes(), baselineAll);
}

} // namespace
} // namespace torvane

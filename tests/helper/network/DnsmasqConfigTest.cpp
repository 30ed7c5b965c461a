#include "DnsmasqConfig.h"

#include <gtest/gtest.h>

using namespace torvane;

namespace {

const std::string kUpstream = "/run/torvane/run/upstream.resolv.conf";

VPNProfile profileWith(std::vector<std::string> servers, std::string ownConfig = {}) {
    VPNProfile profile;
    profile.dnsServers = std::move(servers);
    profile.dnsmasqConfig = std::move(ownConfig);
    return profile;
}

} // namespace

// The text with the profile's servers is checked where the proxy writes it.
TEST(DnsmasqConfigTest, WithoutServersTheUpstreamResolversAreUsed) {
    const std::string text = dnsmasqConfigText(profileWith({}), kUpstream);
    EXPECT_EQ(text, "listen-address=127.0.0.1\n"
                    "bind-interfaces\n"
                    "port=53\n"
                    "no-hosts\n"
                    "no-resolv\n"
                    "resolv-file=/run/torvane/run/upstream.resolv.conf\n");
    EXPECT_FALSE(refusedDnsmasqDirective(text));
}

TEST(DnsmasqConfigTest, OwnConfigurationIsTrimmedAndReplacesTheGeneratedOne) {
    EXPECT_EQ(
        dnsmasqConfigText(profileWith({"10.0.0.53"}, "\n\n  port=53\nno-hosts\n\n\t\n"), kUpstream),
        "port=53\nno-hosts\n");
    // Blank lines only count as no configuration at all.
    EXPECT_EQ(dnsmasqConfigText(profileWith({"10.0.0.53"}, " \n\t\r\n"), kUpstream),
              dnsmasqConfigText(profileWith({"10.0.0.53"}), kUpstream));
}

TEST(DnsmasqConfigTest, RefusesDirectivesThatReachBeyondDns) {
    const std::vector<std::pair<std::string, std::string>> refused = {
        {"dhcp-script=/tmp/x.sh", "dhcp-script"},
        {"dhcp-luascript=/tmp/x.lua", "dhcp-luascript"},
        {"dhcp-scriptuser=root", "dhcp-scriptuser"},
        {"user=root", "user"},
        {"group=root", "group"},
        {"conf-file=/tmp/more.conf", "conf-file"},
        {"conf-dir=/tmp/conf.d,*.conf", "conf-dir"},
        {"conf-script=/tmp/gen.sh", "conf-script"},
        {"pid-file=/etc/shadow", "pid-file"},
        {"dhcp-leasefile=/etc/passwd", "dhcp-leasefile"},
        {"dhcp-lease=/etc/passwd", "dhcp-lease"},
        {"log-facility=/etc/profile.d/x.sh", "log-facility"},
        {"dumpfile=/root/.bashrc", "dumpfile"},
        {"dnssec-timestamp=/etc/nologin", "dnssec-timestamp"},
        {"enable-tftp", "enable-tftp"},
        {"tftp-root=/", "tftp-root"},
        // Spellings dnsmasq might read the same way.
        {"  user = root  ", "user"},
        {"\tUser=root", "User"},
        {"--dhcp-script=/tmp/x.sh", "--dhcp-script"},
    };
    for (const auto& [line, named] : refused) {
        const auto refusal = refusedDnsmasqDirective("port=53\n" + line + "\nno-hosts\n");
        ASSERT_TRUE(refusal) << line;
        EXPECT_EQ(*refusal, "dnsmasq config directive '" + named +
                                "' is not allowed: it could run programs, change users or "
                                "touch files as root")
            << line;
    }
}

TEST(DnsmasqConfigTest, AcceptsOrdinaryProxyConfigurations) {
    EXPECT_FALSE(refusedDnsmasqDirective("# user=root is not for us\n"
                                         "listen-address=127.0.0.1\n"
                                         "address=/test.example/192.0.2.1\n"
                                         "server=/corp.example/10.1.1.1\n"
                                         "dhcp-lease-max=10\n"
                                         "cache-size=1000\n"
                                         "log-queries\n"));
}

TEST(DnsmasqConfigTest, ServerEntriesCannotSmuggleDirectivesIntoTheGeneratedFile) {
    const std::vector<std::string> injected = {"10.0.0.53\ndhcp-script=/tmp/x.sh",
                                               "10.0.0.53\rconf-file=/tmp/x",
                                               std::string("10.0.0.53\0user=root", 19)};
    for (const auto& server : injected) {
        EXPECT_TRUE(refusedDnsmasqDirective(dnsmasqConfigText(profileWith({server}), kUpstream)));
    }
}

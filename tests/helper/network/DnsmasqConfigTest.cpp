#include "helper/network/DnsmasqConfig.h"

#include "shared/process/PosixCommandRunner.h"

#include <filesystem>
#include <fstream>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace torvane;
using ::testing::HasSubstr;

namespace {

const std::string kUpstream = "/run/torvane/run/upstream.resolv.conf";
const std::vector<std::string> kUpstreamServers = {"192.0.2.53", "2001:db8::53"};
const std::string kDnsmasq = "/usr/sbin/dnsmasq";

VPNProfile profileWith(std::vector<std::string> servers, std::string ownConfig = {}) {
    VPNProfile profile;
    profile.dnsServers = std::move(servers);
    profile.dnsmasqConfig = std::move(ownConfig);
    return profile;
}

std::optional<std::string> refusal(const std::string& config) {
    return checkDnsmasqConfig(config, kUpstream).refusal;
}

/// dnsmasq's own verdict on `config`: its output, or nothing where it is
/// not installed.
std::optional<CommandResult> dnsmasqTest(const std::string& config) {
    if (::access(kDnsmasq.c_str(), X_OK) != 0) {
        return std::nullopt;
    }
    const auto file = std::filesystem::temp_directory_path() /
                      ("tvp-dnsmasq-check-" + std::to_string(::getpid()) + ".conf");
    std::ofstream(file, std::ios::binary) << config;
    PosixCommandRunner runner;
    auto result = runner.runCommand(kDnsmasq, {"--test", "--conf-file=" + file.string()},
                                    std::nullopt, std::chrono::seconds(10));
    std::filesystem::remove(file);
    return result;
}

} // namespace

// The text with the profile's servers is proven by the proxy on the test bed.
// With "no-resolv" dnsmasq ignores a resolv-file: the upstream resolvers
// must be server lines, or the proxy forwards nowhere.
TEST(DnsmasqConfigTest, WithoutServersTheUpstreamResolversAreUsed) {
    const std::string text = dnsmasqConfigText(profileWith({}), kUpstreamServers);
    EXPECT_EQ(text, "listen-address=127.0.0.1\n"
                    "bind-interfaces\n"
                    "port=53\n"
                    "no-hosts\n"
                    "no-resolv\n"
                    "server=192.0.2.53\n"
                    "server=2001:db8::53\n");
    EXPECT_FALSE(refusal(text));
    const std::string own = dnsmasqConfigText(profileWith({"10.0.0.53"}), kUpstreamServers);
    EXPECT_TRUE(own.ends_with("no-resolv\nserver=10.0.0.53\n")) << own;
    EXPECT_FALSE(refusal(own));
}

TEST(DnsmasqConfigTest, OwnConfigurationIsTrimmedAndReplacesTheGeneratedOne) {
    EXPECT_EQ(dnsmasqConfigText(profileWith({"10.0.0.53"}, "\n\n  port=53\nno-hosts\n\n\t\n"), {}),
              "port=53\nno-hosts\n");
    // Blank lines only count as no configuration at all.
    EXPECT_EQ(dnsmasqConfigText(profileWith({"10.0.0.53"}, " \n\t\r\n"), {}),
              dnsmasqConfigText(profileWith({"10.0.0.53"}), {}));
}

// Each refused text is one dnsmasq itself takes (where it is installed), so
// the refusal is the only thing between it and a root process.
TEST(DnsmasqConfigTest, OnlyDnsDirectivesPassAndDnsmasqWouldHaveTakenTheRest) {
    const std::string filler(1023, 'a');
    struct Case {
        std::string line;
        std::string refusal;
        bool dnsmasqTakesIt;
    };
    const std::vector<Case> refused = {
        // One comment to a line reader, two lines to dnsmasq's 1 KiB chunks.
        {"#" + filler + "conf-file=/nonexistent/hidden.conf", "line 2 is longer than 1000 bytes",
         false},
        {"# " + std::string(999, 'x'), "line 2 is longer than 1000 bytes", true},
        {"dhcp-script=/bin/sh", "'dhcp-script' (line 2) is not allowed", true},
        {"user=root", "'user' (line 2) is not allowed", true},
        {"group=root", "'group' (line 2) is not allowed", true},
        {"dhcp-leasefile=/etc/passwd", "'dhcp-leasefile' (line 2) is not allowed", true},
        {"log-facility=/etc/profile.d/x.sh", "'log-facility' (line 2) is not allowed", true},
        {"conf-file=/dev/null", "'conf-file' (line 2) is not allowed", true},
        {"dhcp-range=127.0.0.2,127.0.0.9", "'dhcp-range' (line 2) is not allowed", true},
        {"enable-tftp", "'enable-tftp' (line 2) is not allowed", true},
        {"no-such-option", "'no-such-option' (line 2) is not allowed", false},
        {"bind-interfaces\r", "line 2 contains a carriage return", true},
        {std::string("bind-interfaces\0user=root", 25), "line 2 contains a NUL byte", true},
        {"bind-interfaces\x0buser=root", "line 2 contains a control character", false},
        {"listen-address=10.0.0.1", "'listen-address' (line 2) may only name loopback", true},
        {"listen-address=127.0.0.1,0.0.0.0", "'listen-address' (line 2) may only name", true},
        {"listen-address=\"127.0.0.1\"", "'listen-address' (line 2) may only name", true},
        {"resolv-file=/etc/shadow", "'resolv-file' (line 2) may only name " + kUpstream, true},
        // Spellings dnsmasq reads as another name or none.
        {"--user=root", "'--user' (line 2) is not allowed", false},
        {"User=root", "line 2 is not a directive line (name or name=value): 'User'", false},
        {"\"user\"=root", "line 2 is not a directive line", false},
        {"server 10.0.0.1", "line 2 is not a directive line", false},
        {"log-queries#x", "line 2 is not a directive line", false},
    };
    for (const auto& [line, expected, dnsmasqTakesIt] : refused) {
        const std::string config = "port=53\n" + line + "\nno-hosts\n";
        const auto text = refusal(config);
        ASSERT_TRUE(text) << line;
        EXPECT_THAT(*text, HasSubstr(expected)) << line;
        if (const auto verdict = dnsmasqTest(config)) {
            EXPECT_EQ(verdict->status == 0, dnsmasqTakesIt) << line << ": " << verdict->output;
        }
    }
    // dnsmasq really reads the hidden half of the long line.
    if (const auto verdict = dnsmasqTest("port=53\n#" + filler + "conf-file=/nonexistent/x\n")) {
        EXPECT_THAT(verdict->output, HasSubstr("/nonexistent/x"));
    }

    EXPECT_EQ(refusal("port=53\nno-hosts\n"),
              "dnsmasq config has no listen-address line (127.0.0.1 or ::1)");

    // Imported server entries cannot start a line of their own.
    for (const std::string& server :
         std::vector<std::string>{"10.0.0.53\ndhcp-script=/tmp/x.sh", "10.0.0.53\rconf-file=/x",
                                  std::string("10.0.0.53\0user=root", 19)}) {
        EXPECT_TRUE(refusal(dnsmasqConfigText(profileWith({server}), {})));
    }

    const std::string accepted = "# a comment\n"
                                 "\n"
                                 "  listen-address = 127.0.0.2,::1   # loopback only\n"
                                 "bind-interfaces # comment\n"
                                 "server=/corp.example/10.1.1.1#5353\n"
                                 "address=/test.example/192.0.2.1\n"
                                 "txt-record=example.test,\"v=spf1 -all # not a comment\"\n"
                                 "\tresolv-file=" +
                                 kUpstream + "\n" + "#" + std::string(999, 'x') + "\n" +
                                 "log-queries";
    const auto check = checkDnsmasqConfig(accepted, kUpstream);
    EXPECT_FALSE(check.refusal) << *check.refusal;
    EXPECT_EQ(check.directives.size(), 7u);
    if (const auto verdict = dnsmasqTest(accepted)) {
        EXPECT_EQ(verdict->status, 0) << verdict->output;
    }
}

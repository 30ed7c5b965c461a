#include "PfctlRuleset.h"

#include "PfctlCommand.h"

#include <gtest/gtest.h>

namespace torvane::tools {
namespace {

Expected<std::vector<std::string>, std::string> fakeResolver(const std::string& host) {
    if (host == "vpn.example.net") {
        return std::vector<std::string>{"203.0.113.10", "2001:db8::a"};
    }
    if (host == "weird.example.net") {
        return std::vector<std::string>{"1.2.3.4; drop"};
    }
    return Unexpected{"cannot resolve " + host + ": Name or service not known"};
}

constexpr const char* kHead = "add table inet torvane_killswitch\n"
                              "delete table inet torvane_killswitch\n"
                              "add table inet torvane_killswitch\n"
                              "add chain inet torvane_killswitch output { type filter hook output "
                              "priority 0; policy drop; }\n";
constexpr const char* kForward = "add chain inet torvane_killswitch forward { type filter hook "
                                 "forward priority 0; policy drop; }\n";

TEST(PfctlRuleset, TranslatesTheDaemonsRulesetInOrder) {
    const auto script =
        translateRuleset("pass out quick on lo0 all\n"
                         "pass out quick on ipsec0 all\n"
                         "pass out quick on ipsec0 all\n"
                         "pass out quick proto udp from any to 198.51.100.7 port {500, 4500}\n"
                         "pass out quick proto esp from any to 198.51.100.7\n"
                         "pass out quick proto udp from any to vpn.example.net port {500, 4500}\n"
                         "pass out quick proto esp from any to 2001:DB8:0:0::1\n"
                         "pass out quick proto udp from any port 68 to any port 67\n"
                         "block drop out quick all\n",
                         fakeResolver);
    ASSERT_TRUE(script) << script.error();
    const std::string rule = "add rule inet torvane_killswitch output ";
    const std::string forward = "add rule inet torvane_killswitch forward ";
    EXPECT_EQ(*script, kHead + rule + "oifname \"lo\" counter accept\n" + rule +
                           "oifname \"ipsec0\" counter accept\n" + rule +
                           "oifname \"ipsec0\" counter accept\n" + rule +
                           "ip daddr 198.51.100.7 udp dport { 500, 4500 } counter accept\n" + rule +
                           "ip daddr 198.51.100.7 meta l4proto esp counter accept\n" + rule +
                           "ip daddr 203.0.113.10 udp dport { 500, 4500 } counter accept\n" + rule +
                           "ip6 daddr 2001:db8::a udp dport { 500, 4500 } counter accept\n" + rule +
                           "ip6 daddr 2001:db8::1 meta l4proto esp counter accept\n" + rule +
                           "udp sport 68 udp dport 67 counter accept\n" + rule + "counter drop\n" +
                           kForward + forward + "oifname \"ipsec0\" counter accept\n" + forward +
                           "iifname \"ipsec0\" ct state established,related counter accept\n" +
                           forward + "counter drop\n");
}

TEST(PfctlRuleset, LastLineNeedNotEndWithNewline) {
    const auto script = translateRuleset("block drop out quick all", fakeResolver);
    ASSERT_TRUE(script);
    EXPECT_EQ(*script, std::string(kHead) +
                           "add rule inet torvane_killswitch output counter drop\n" + kForward +
                           "add rule inet torvane_killswitch forward counter drop\n");
}

TEST(PfctlRuleset, AnyUnknownLineFailsTheWholeRulesetNamingTheLine) {
    const struct {
        const char* text;
        const char* error;
    } cases[] = {
        {"pass out quick on lo0 all\npass in all\n", "line 2: unrecognised rule"},
        {"pass out quick on lo0 all\n\nblock drop out quick all\n", "line 2: unrecognised rule"},
        {"", "line 1: unrecognised rule"},
        {"block drop out quick all\r\n", "line 1: unrecognised rule"},
        {"block drop out quick all \n", "line 1: unrecognised rule"},
        {"pass out quick on lo\" accept; drop all\n", "line 1: bad interface name"},
        {"pass out quick on  all\n", "line 1: bad interface name"},
        {"pass out quick on averyveryverylongname all\n", "line 1: bad interface name"},
        {"pass out quick proto esp from any to 1.2.3.4 accept\n", "line 1: bad gateway address"},
        {"pass out quick proto esp from any to \n", "line 1: bad gateway address"},
        {"pass out quick proto udp from any to 1.2.3.4 port {500}\n", "line 1: unrecognised rule"},
        {"pass out quick proto esp from any to nowhere.invalid\n",
         "line 1: cannot resolve nowhere.invalid: Name or service not known"},
        {"pass out quick proto esp from any to weird.example.net\n",
         "line 1: resolver gave a bad address for weird.example.net"},
    };
    for (const auto& c : cases) {
        const auto script = translateRuleset(c.text, fakeResolver);
        ASSERT_FALSE(script) << c.text;
        EXPECT_EQ(script.error(), c.error) << c.text;
    }
}

// The four forms the daemon runs go through the real program in
// tests/netns/killswitch_netns.sh; here the longest token and what is refused.
TEST(PfctlCommandLine, AcceptsExactlyTheDaemonsFourForms) {
    const auto release = parsePfctlArguments({"-X", "18446744073709551615"});
    ASSERT_TRUE(release);
    EXPECT_EQ(release->token, "18446744073709551615");

    const std::vector<std::vector<std::string>> rejected = {
        {},
        {"-e"},
        {"-E", "-E"},
        {"-X", "../../etc/passwd"},
        {"-X", ""},
        {"-X", "123456789012345678901"},
        {"-a", "", "-f", "x"},
        {"-a", "x", "-f", ""},
        {"-a", "x", "-F", "rules"},
        {"-f", "x", "-a", "y"},
    };
    for (const auto& args : rejected) {
        EXPECT_FALSE(parsePfctlArguments(args)) << ::testing::PrintToString(args);
    }
}

} // namespace
} // namespace torvane::tools

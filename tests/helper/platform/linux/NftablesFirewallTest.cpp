#include "helper/platform/linux/NftablesFirewall.h"

#include <gtest/gtest.h>

namespace torvane {
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

// The golden text of the kill switch's table: what goes out, what is
// forwarded, in one transaction that first makes sure there is a table to
// delete. The namespace test sends packets past it.
TEST(NftablesFirewallTest, PolicyBecomesOneTransactionReplacingOurTable) {
    const auto script = NftablesFirewall::script(
        {{"ipsec0", "ipsec0"},
         {"198.51.100.7", "vpn.example.net", "2001:DB8:0:0::1", "203.0.113.10"}},
        fakeResolver);
    ASSERT_TRUE(script) << script.error();
    const std::string t = "inet torvane_killswitch";
    const std::string out = "add rule " + t + " output ";
    const std::string fwd = "add rule " + t + " forward ";
    EXPECT_EQ(*script,
              "add table " + t + "\ndelete table " + t + "\nadd table " + t + "\n" + "add chain " +
                  t + " output { type filter hook output priority 0; policy drop; }\n" + out +
                  "oifname \"lo\" counter accept\n" + out + "oifname \"ipsec0\" counter accept\n" +
                  out + "ip daddr 198.51.100.7 udp dport { 500, 4500 } counter accept\n" + out +
                  "ip daddr 198.51.100.7 meta l4proto esp counter accept\n" + out +
                  "ip daddr 203.0.113.10 udp dport { 500, 4500 } counter accept\n" + out +
                  "ip daddr 203.0.113.10 meta l4proto esp counter accept\n" + out +
                  "ip6 daddr 2001:db8::a udp dport { 500, 4500 } counter accept\n" + out +
                  "ip6 daddr 2001:db8::a meta l4proto esp counter accept\n" + out +
                  "ip6 daddr 2001:db8::1 udp dport { 500, 4500 } counter accept\n" + out +
                  "ip6 daddr 2001:db8::1 meta l4proto esp counter accept\n" + out +
                  "udp sport 68 udp dport 67 counter accept\n" + out + "counter drop\n" +
                  "add chain " + t +
                  " forward { type filter hook forward priority 0; policy drop; }\n" + fwd +
                  "oifname \"ipsec0\" counter accept\n" + fwd +
                  "iifname \"ipsec0\" ct state established,related counter accept\n" + fwd +
                  "counter drop\n");
    EXPECT_EQ(NftablesFirewall::releaseScript(), "add table " + t + "\ndelete table " + t + "\n");
}

TEST(NftablesFirewallTest, AnythingThatCannotBeARuleRefusesTheWholePolicy) {
    const struct {
        FirewallPolicy policy;
        const char* error;
    } cases[] = {
        {{{"lo\" accept; drop"}, {}}, "bad interface name: lo\" accept; drop"},
        {{{""}, {}}, "bad interface name: "},
        {{{"averyveryverylongname"}, {}}, "bad interface name: averyveryverylongname"},
        {{{}, {"1.2.3.4 accept"}}, "bad gateway address: 1.2.3.4 accept"},
        {{{}, {""}}, "bad gateway address: "},
        {{{}, {"-x.example"}}, "bad gateway address: -x.example"},
        {{{}, {"nowhere.invalid"}}, "cannot resolve nowhere.invalid: Name or service not known"},
        {{{}, {"weird.example.net"}}, "the resolver gave a bad address for weird.example.net"},
    };
    for (const auto& c : cases) {
        const auto script = NftablesFirewall::script(c.policy, fakeResolver);
        ASSERT_FALSE(script) << c.error;
        EXPECT_EQ(script.error(), c.error);
    }
}

} // namespace
} // namespace torvane

#include "RouteCommand.h"

#include <gtest/gtest.h>

using namespace torvane::tools;
using torvane::netlink::Ipv4Prefix;

namespace {

RouteCommand parsed(const std::vector<std::string>& args) {
    const auto command = parseRouteArguments(args);
    EXPECT_TRUE(command) << (command ? "" : command.error());
    return command ? *command : RouteCommand{};
}

std::string error(const std::vector<std::string>& args) {
    const auto command = parseRouteArguments(args);
    EXPECT_FALSE(command);
    return command ? "" : command.error();
}

} // namespace

// Every form the daemon runs goes through the real tool in tools_netns_test.sh;
// these two spellings do not.
TEST(RouteCommandTest, AcceptsTheQuietFlagAndTheShortInterfaceOption) {
    EXPECT_TRUE(parsed({"-q", "-n", "delete", "-net", "10.0.0.1"}).quiet);
    const auto onDevice = parsed({"-n", "add", "-net", "10.0.0.1", "-iface", "tun0"});
    EXPECT_EQ(onDevice.network, (Ipv4Prefix{0x0a000001, 32}));
    EXPECT_EQ(onDevice.interfaceName, "tun0");
}

TEST(RouteCommandTest, RefusesMalformedCommandLines) {
    EXPECT_EQ(error({}), "missing command");
    EXPECT_EQ(error({"-n"}), "missing command");
    EXPECT_EQ(error({"-x", "get", "1.2.3.4"}), "unknown option -x");
    EXPECT_EQ(error({"flush"}), "unknown command flush");
    EXPECT_EQ(error({"get"}), "get: missing destination");
    EXPECT_EQ(error({"get", "-host"}), "get: bad destination -host");
    EXPECT_EQ(error({"get", "1.2.3.4", "extra"}), "unexpected argument extra");
    EXPECT_EQ(error({"add"}), "add: missing -net or -host");
    EXPECT_EQ(error({"add", "-link", "x", "y"}), "add: expected -net or -host, not -link");
    EXPECT_EQ(error({"add", "-net"}), "add: missing destination");
    EXPECT_EQ(error({"add", "-net", "10.0.0.0/8"}), "add: missing gateway or -interface");
    EXPECT_EQ(error({"add", "-net", "10.0.0.0/8", "-interface"}), "add: missing interface name");
    EXPECT_EQ(error({"add", "-net", "10.0.0.0/8", "-netmask", "255.0.0.0"}),
              "add: bad gateway -netmask");
    EXPECT_EQ(error({"add", "-net", "10.0.0.0/8", "10.99.0.1", "10.99.0.2"}),
              "unexpected argument 10.99.0.2");
    EXPECT_EQ(error({"delete", "-net", "10.0.0.0/8", "10.99.0.1"}),
              "unexpected argument 10.99.0.1");
}

TEST(RouteCommandTest, RefusesBadValuesWithTheirText) {
    // A traffic selector holding several networks reaches the tool as one
    // argument; it must fail as a whole rather than install a part.
    EXPECT_EQ(error({"-n", "add", "-net", "10.0.0.0/8,10.2.0.0/16", "10.99.0.1"}),
              "bad network address: 10.0.0.0/8,10.2.0.0/16");
    EXPECT_EQ(error({"-n", "add", "-net", "vpn.example.org", "10.99.0.1"}),
              "bad network address: vpn.example.org");
    EXPECT_EQ(error({"add", "-host", "10.0.0.0/8", "10.0.0.1"}), "bad host address: 10.0.0.0/8");
    EXPECT_EQ(error({"add", "-host", "-interface", "eth0"}), "bad host address: -interface");
    for (const char* name : {"", "a/b", "has space", "0123456789abcdef", "..", "eth0:1"}) {
        EXPECT_EQ(error({"add", "-net", "10.0.0.0/8", "-interface", name}),
                  std::string("bad interface name: ") + name);
    }
}

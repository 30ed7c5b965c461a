#include "NetstatCommand.h"

#include <gtest/gtest.h>

using namespace torvane::tools;

TEST(NetstatCommandTest, AcceptsTheRoutingTableInAnySpelling) {
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"-rn", "-f", "inet"}, {"-nr", "-finet"}, {"-r", "-n"}, {"-rnf", "inet"}, {"-r"}}) {
        EXPECT_TRUE(parseNetstatArguments(args)) << args.front();
    }
}

TEST(NetstatCommandTest, RefusesWhatItCannotShow) {
    const auto message = [](const std::vector<std::string>& args) {
        const auto parsed = parseNetstatArguments(args);
        return parsed ? std::string("accepted") : parsed.error();
    };
    EXPECT_EQ(message({}), "only the routing table (-r) is supported");
    EXPECT_EQ(message({"-n", "-f", "inet"}), "only the routing table (-r) is supported");
    EXPECT_EQ(message({"-rn", "-f", "inet6"}), "address family inet6 is not supported");
    EXPECT_EQ(message({"-rn", "-f"}), "-f needs an address family");
    EXPECT_EQ(message({"-ra"}), "unknown option -a");
    EXPECT_EQ(message({"-r", "inet"}), "unexpected argument inet");
    EXPECT_EQ(message({"-r", "-"}), "unexpected argument -");
}

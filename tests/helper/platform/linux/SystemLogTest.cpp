#include "SystemLog.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace torvane {
namespace {

TEST(SystemLogTest, LinesCarryTheDaemonPrefixAndGoToTheSink) {
    std::vector<std::string> lines;
    const auto previous =
        setSystemLogSink([&](std::string_view line) { lines.emplace_back(line); });
    systemLog("SIGTERM — tearing down VPN");
    const auto mine = setSystemLogSink(previous);
    EXPECT_EQ(lines, std::vector<std::string>{"TorvaneHelper: SIGTERM — tearing down VPN"});
    EXPECT_TRUE(static_cast<bool>(mine));
}

} // namespace
} // namespace torvane

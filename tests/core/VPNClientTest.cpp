#include "Torvane/core/HelperClient.h"

#include <gtest/gtest.h>

namespace torvane {
namespace {

TEST(VPNClient, CallbacksWithoutHandlersAreIgnored) {
    VPNClient client;
    client.logLine("a line nobody listens to");
    client.statusChanged(encodeRuntimeStatus(VPNRuntimeStatus{}));
    std::string line;
    client.setOnLog([&](const std::string& text) { line = text; });
    client.logLine("charon started");
    EXPECT_EQ(line, "charon started");
}

} // namespace
} // namespace torvane

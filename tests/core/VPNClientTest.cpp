#include "HelperClient.h"

#include <gtest/gtest.h>

namespace torvane {
namespace {

TEST(VPNClient, DeliversDecodedStatusAndDropsWhatDoesNotDecode) {
    VPNClient client;
    std::vector<VPNRuntimeStatus> received;
    client.setOnStatus([&](const VPNRuntimeStatus& status) { received.push_back(status); });

    client.statusChanged("not json");
    client.statusChanged("[]");
    EXPECT_TRUE(received.empty());

    VPNRuntimeStatus status;
    status.tunnels.push_back(VPNTunnelStatus{});
    status.tunnels.back().profileName = "Office";
    client.statusChanged(encodeRuntimeStatus(status));
    ASSERT_EQ(received.size(), 1U);
    EXPECT_EQ(received[0], status);
}

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

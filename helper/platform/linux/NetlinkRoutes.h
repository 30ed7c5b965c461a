#pragma once

#include "helper/network/Routes.h"

#include <cstdint>

namespace torvane {

/// Routes over rtnetlink in the daemon's own network namespace. Each call
/// opens a socket of its own, so that a call cut short by its time limit
/// leaves no late answer behind for the next one.
class NetlinkRoutes final : public Routes {
public:
    /// The routing table charon's userspace ESP fills, and the priority of
    /// the rule that sends lookups there (set in our strongswan.conf).
    static constexpr std::uint32_t kCharonTable = 220;
    static constexpr std::uint32_t kCharonRulePriority = 32800;

    std::vector<RouteOutcome> apply(const std::vector<RouteChange>& changes,
                                    RouteTimeLimit limit) override;
    RouteOutcome addHostRoute(const std::string& host, const std::string& gateway,
                              RouteTimeLimit limit) override;
    RouteOutcome addHostRouteOnDevice(const std::string& host, const std::string& device,
                                      RouteTimeLimit limit) override;
    RouteOutcome deleteHostRoute(const std::string& host, RouteTimeLimit limit) override;
    Expected<RouteLookup, std::string> defaultRoute(RouteTimeLimit limit) override;
    Expected<RouteLookup, std::string> lookup(const std::string& address,
                                              RouteTimeLimit limit) override;
    Expected<std::vector<RouteTableRow>, std::string> table(RouteTimeLimit limit) override;
    CharonLeftovers removeCharonLeftovers(RouteTimeLimit limit) override;
};

} // namespace torvane

#pragma once

#include "helper/network/Routes.h"

#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace torvane {

/// A routing table in memory for unit tests. It keeps the network and host
/// routes added through it (an add of a network already there fails as the
/// kernel's does, a delete of one that is not fails with "not in table"),
/// answers lookups and listings from what the test set up, and records every
/// call, in order, with its arguments. Thread-safe.
class FakeRoutes final : public Routes {
public:
    /// One call, as a line that reads like the change it made:
    /// "add 10.0.0.0/8 via 10.99.0.1", "add 10.0.0.0/8 dev ipsec0",
    /// "delete 10.0.0.0/8", "add host 10.10.0.1 via 192.0.2.1",
    /// "add host 10.10.0.1 dev ppp0", "delete host 10.10.0.1", "default", "lookup 10.99.0.1",
    /// "table", "charon leftovers"; a batch as "batch" followed by its changes.
    std::vector<std::string> calls() const;
    void clearCalls();
    /// How many times `apply` ran with at least one change.
    int batches() const;

    /// The host routes now in place, each with its gateway or device.
    std::map<std::string, RouteLookup> hostRoutes() const;

    void setDefaultRoute(std::optional<RouteLookup> route);
    void setLookup(const std::string& address, RouteLookup answer);
    void setTable(std::vector<RouteTableRow> rows);
    /// Every add of this network (network or host route) fails with `reason`.
    void failAdd(const std::string& destination, std::string reason);
    void clearFailures();
    /// Forgets every route, as a kernel does with a link that went away.
    void dropAll();
    /// Runs after each call is recorded, with the call's line (e.g. to put it
    /// into a test's common timeline).
    void setObserver(std::function<void(const std::string&)> observer);

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

private:
    void record(const std::string& line);
    RouteOutcome change(const RouteChange& change);
    RouteOutcome addHost(const std::string& line, const std::string& host, RouteLookup route);

    mutable std::mutex m_mutex;
    std::vector<std::string> m_calls;
    int m_batches = 0;
    std::map<std::string, NetworkRoute> m_networks;
    std::map<std::string, RouteLookup> m_hosts;
    std::optional<RouteLookup> m_default;
    std::map<std::string, RouteLookup> m_lookups;
    std::vector<RouteTableRow> m_table;
    std::map<std::string, std::string> m_failures;
    std::function<void(const std::string&)> m_observer;
};

} // namespace torvane

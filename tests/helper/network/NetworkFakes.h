#pragma once

#include "FakeFirewall.h"
#include "FakeIpv6Control.h"
#include "FakeRoutes.h"
#include "NetworkContext.h"
#include "RecordingCommandRunner.h"

#include <string>
#include <vector>

namespace torvane {

/// The network parts' context over fakes; the daemon log lands in `logs`.
struct NetworkFakes {
    RecordingCommandRunner runner;
    FakeRoutes routes;
    FakeFirewall firewall;
    FakeIpv6Control ipv6;
    BundleLocator locator{"/opt/torvane/torvane-helper"};
    std::vector<std::string> logs;
    NetworkContext context{runner,
                           routes,
                           firewall,
                           ipv6,
                           locator,
                           "/run/torvane/run",
                           [this](const std::string& line) { logs.push_back(line); },
                           [](const std::string&) {
                           }};
};

} // namespace torvane

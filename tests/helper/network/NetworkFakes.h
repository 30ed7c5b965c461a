#pragma once

#include "helper/network/NetworkContext.h"
#include "tests/fakes/FakeFirewall.h"
#include "tests/fakes/FakeIpv6Control.h"
#include "tests/fakes/FakeRoutes.h"
#include "tests/fakes/RecordingCommandRunner.h"

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

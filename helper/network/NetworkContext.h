#pragma once

#include "BundleLocator.h"
#include "CommandRunner.h"

#include <functional>
#include <string>

namespace torvane {

/// What the network parts of the engine share: the command runner, where
/// the tools are, the staging root and the engine's two log channels. All
/// network work runs on the engine's queue.
struct NetworkContext {
    CommandRunner& runner;
    const BundleLocator& locator;
    /// Generated files live below it (e.g. dnsmasq.conf, upstream.resolv.conf).
    std::string stagingRoot;
    /// A user-visible line: system log (with the daemon prefix) and the app.
    std::function<void(const std::string&)> log;
    /// A line for the app's log only (e.g. a child program's output).
    std::function<void(const std::string&)> appLog;
};

} // namespace torvane

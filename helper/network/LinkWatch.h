#pragma once

#include "shared/Expected.h"

#include <functional>
#include <memory>
#include <string>

namespace torvane {

/// A watch on the machine's network interfaces: its handler runs whenever
/// one appears, goes away or changes state (up, down, renamed). Delivery
/// stops when the watch is destroyed.
class LinkWatch {
public:
    virtual ~LinkWatch() = default;
};

/// Starts a watch that calls `onChange` for each change; the reason on
/// failure. The platform's watch calls it on a thread of its own; the engine
/// wraps it so that the network state's handler runs on the engine queue.
using LinkWatchOpener = std::function<Expected<std::unique_ptr<LinkWatch>, std::string>(
    std::function<void()> onChange)>;

} // namespace torvane

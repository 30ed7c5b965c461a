#pragma once

#include "shared/Expected.h"

#include <functional>
#include <memory>
#include <string>

namespace torvane {

/// What the system says about sleep. The engine never delays sleep: it
/// acknowledges the first two at once and verifies tunnels after the third.
enum class PowerMessage {
    canSystemSleep,
    systemWillSleep,
    systemHasPoweredOn,
};

/// A registration for the system's sleep/wake messages; delivery stops when
/// it is destroyed.
class PowerEvents {
public:
    virtual ~PowerEvents() = default;
};

using PowerMessageHandler = std::function<void(PowerMessage)>;
/// Registers `handler` (called on the registration's own thread); the reason
/// on failure.
using PowerEventsOpener =
    std::function<Expected<std::unique_ptr<PowerEvents>, std::string>(PowerMessageHandler)>;

} // namespace torvane

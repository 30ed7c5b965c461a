#pragma once

#include "helper/engine/PowerEvents.h"

#include <memory>
#include <string>

namespace torvane {

/// Sleep/wake messages from logind: its PrepareForSleep signal on the system
/// bus (true: the system will sleep; false: it has powered on again). No
/// inhibitor lock is taken, so sleep is never delayed. The signal is read on
/// a thread of its own; DBUS_SYSTEM_BUS_ADDRESS chooses another bus.
Expected<std::unique_ptr<PowerEvents>, std::string>
openLogindPowerEvents(PowerMessageHandler handler);

} // namespace torvane

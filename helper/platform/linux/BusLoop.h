#pragma once

struct sd_bus;

namespace torvane {

/// Dispatches `bus`'s messages (its match callbacks run here) until `stopFd`
/// becomes readable or the bus fails. Runs on a thread of its own.
void runBusUntilStopped(sd_bus* bus, int stopFd);

} // namespace torvane

#pragma once

#include "helper/process/ChildProcess.h"
#include "shared/Clock.h"

namespace torvane {

/// Asks `child` to stop (SIGTERM), gives it `grace` to exit, then kills it,
/// and reaps it. charon and dnsmasq both get this end.
inline void endChild(ChildProcess& child, Clock& clock, Clock::Duration grace) {
    child.terminate();
    const auto deadline = clock.now() + grace;
    while (child.isRunning() && clock.now() < deadline) {
        clock.sleep(std::chrono::milliseconds(50));
    }
    if (child.isRunning()) {
        child.kill();
    }
    child.waitUntilExit();
}

} // namespace torvane

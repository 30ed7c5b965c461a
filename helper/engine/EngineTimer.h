#pragma once

#include "helper/engine/EngineQueue.h"
#include "shared/Clock.h"

#include <functional>
#include <memory>
#include <optional>

namespace torvane {

/// A clock timer whose firings run as engine jobs. Created, cancelled and
/// destroyed on the engine queue only: a firing already queued when the
/// timer is cancelled finds it cancelled and does nothing, so a stopped
/// tunnel's timer never acts again.
class EngineTimer {
public:
    EngineTimer(Clock& clock, EngineQueue& queue, Clock::Duration delay,
                std::optional<Clock::Duration> period, Clock::Duration leeway,
                std::function<void()> handler);
    ~EngineTimer();
    EngineTimer(const EngineTimer&) = delete;
    EngineTimer& operator=(const EngineTimer&) = delete;

    void cancel();

private:
    std::shared_ptr<bool> m_armed;
    std::unique_ptr<Timer> m_timer;
};

} // namespace torvane

#pragma once

#include "shared/Clock.h"

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace torvane {

/// Sleeps take no time; `now` moves forward by what was asked, and each sleep
/// may let the test act (onSleep), as the world would while the code waits.
/// Timers fire only when the test advances the clock. Thread-safe.
class FakeClock final : public Clock {
public:
    TimePoint now() const override;
    void sleep(Duration duration) override;
    std::unique_ptr<Timer> startTimer(Duration delay, std::optional<Duration> period,
                                      Duration leeway, std::function<void()> fire) override;
    std::vector<double> sleeps() const;
    /// Runs after each sleep, outside the lock.
    std::function<void()> onSleep;

    /// Moves time forward, firing every timer that falls due on the way, in
    /// deadline order, each at its own deadline.
    void advance(Duration duration);

    struct TimerRecord {
        double delay = 0;
        std::optional<double> period;
    };
    /// Every timer started so far, in order.
    std::vector<TimerRecord> startedTimers() const;
    /// Timers neither cancelled nor used up.
    std::size_t activeTimers() const;

    struct TimerState;

private:
    mutable std::mutex m_mutex;
    TimePoint m_now{};
    std::vector<double> m_sleeps;
    std::vector<TimerRecord> m_started;
    std::vector<std::shared_ptr<TimerState>> m_timers;
};

} // namespace torvane

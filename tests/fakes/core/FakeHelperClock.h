#pragma once

#include "Clock.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

namespace torvane::testing {

/// Time that only passes on paper: pauses are recorded and return at once;
/// timers wait until the test fires them.
class FakeHelperClock final : public Clock {
public:
    /// The start of time plus every pause so far.
    TimePoint now() const override;
    void sleep(Duration duration) override;
    std::unique_ptr<Timer> startTimer(Duration delay, std::optional<Duration> period,
                                      Duration leeway, std::function<void()> fire) override;

    /// Each pause in seconds, in order.
    std::vector<double> pauses() const;
    /// Waits (in real time, bounded) until a timer of `seconds` is pending,
    /// then fires every pending timer once.
    bool fireWhenPending(double seconds,
                         std::chrono::milliseconds limit = std::chrono::seconds(10));

private:
    struct Pending;

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<double> m_pauses;
    std::vector<std::shared_ptr<Pending>> m_timers;
};

} // namespace torvane::testing

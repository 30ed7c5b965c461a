#pragma once

#include "HelperClock.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

namespace torvane::testing {

/// Time that only passes on paper: pauses are recorded and return at once;
/// delayed actions wait until the test fires them.
class FakeHelperClock final : public HelperClock {
public:
    void sleep(double seconds) override;
    void after(double seconds, std::function<void()> action) override;

    std::vector<double> pauses() const;
    /// Waits (in real time, bounded) until an action `seconds` from its
    /// scheduling is pending, then runs every pending action.
    bool fireWhenPending(double seconds,
                         std::chrono::milliseconds limit = std::chrono::seconds(10));

private:
    struct Timer {
        double seconds;
        std::function<void()> action;
    };

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<double> m_pauses;
    std::vector<Timer> m_timers;
};

} // namespace torvane::testing

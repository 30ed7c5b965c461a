#include "FakeHelperClock.h"

#include <algorithm>

namespace torvane::testing {

void FakeHelperClock::sleep(double seconds) {
    std::lock_guard lock(m_mutex);
    m_pauses.push_back(seconds);
}

void FakeHelperClock::after(double seconds, std::function<void()> action) {
    {
        std::lock_guard lock(m_mutex);
        m_timers.push_back({seconds, std::move(action)});
    }
    m_changed.notify_all();
}

std::vector<double> FakeHelperClock::pauses() const {
    std::lock_guard lock(m_mutex);
    return m_pauses;
}

bool FakeHelperClock::fireWhenPending(double seconds, std::chrono::milliseconds limit) {
    std::vector<Timer> due;
    {
        std::unique_lock lock(m_mutex);
        const bool pending = m_changed.wait_for(lock, limit, [&] {
            return std::any_of(m_timers.begin(), m_timers.end(),
                               [&](const Timer& timer) { return timer.seconds == seconds; });
        });
        if (!pending) {
            return false;
        }
        due.swap(m_timers);
    }
    for (auto& timer : due) {
        timer.action();
    }
    return true;
}

} // namespace torvane::testing

#include "FakeHelperClock.h"

#include <algorithm>
#include <numeric>
#include <utility>

namespace torvane::testing {

struct FakeHelperClock::Pending {
    double seconds = 0;
    std::function<void()> fire;
    // Held while firing, so that a cancel returns only once no firing runs.
    std::mutex mutex;
    bool cancelled = false;
};

namespace {

class FakeTimer final : public Timer {
public:
    explicit FakeTimer(std::function<void()> onCancel) : m_onCancel(std::move(onCancel)) {}
    ~FakeTimer() override { cancel(); }
    void cancel() override {
        if (m_onCancel) {
            std::exchange(m_onCancel, nullptr)();
        }
    }

private:
    std::function<void()> m_onCancel;
};

} // namespace

Clock::TimePoint FakeHelperClock::now() const {
    std::lock_guard lock(m_mutex);
    const double elapsed = std::accumulate(m_pauses.begin(), m_pauses.end(), 0.0);
    return TimePoint{} + std::chrono::duration_cast<TimePoint::duration>(Duration(elapsed));
}

void FakeHelperClock::sleep(Duration duration) {
    std::lock_guard lock(m_mutex);
    m_pauses.push_back(duration.count());
}

std::unique_ptr<Timer> FakeHelperClock::startTimer(Duration delay, std::optional<Duration>,
                                                   Duration, std::function<void()> fire) {
    auto pending = std::make_shared<Pending>();
    pending->seconds = delay.count();
    pending->fire = std::move(fire);
    {
        std::lock_guard lock(m_mutex);
        m_timers.push_back(pending);
    }
    m_changed.notify_all();
    return std::make_unique<FakeTimer>([pending] {
        std::lock_guard lock(pending->mutex);
        pending->cancelled = true;
    });
}

std::vector<double> FakeHelperClock::pauses() const {
    std::lock_guard lock(m_mutex);
    return m_pauses;
}

bool FakeHelperClock::fireWhenPending(double seconds, std::chrono::milliseconds limit) {
    std::vector<std::shared_ptr<Pending>> due;
    {
        std::unique_lock lock(m_mutex);
        const bool pending = m_changed.wait_for(lock, limit, [&] {
            return std::any_of(m_timers.begin(), m_timers.end(), [&](const auto& timer) {
                std::lock_guard timerLock(timer->mutex);
                return timer->seconds == seconds && !timer->cancelled;
            });
        });
        if (!pending) {
            return false;
        }
        due.swap(m_timers);
    }
    for (const auto& timer : due) {
        std::lock_guard lock(timer->mutex);
        if (!timer->cancelled) {
            timer->fire();
        }
    }
    return true;
}

} // namespace torvane::testing

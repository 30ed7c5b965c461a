#include "tests/fakes/FakeClock.h"

#include <algorithm>
#include <chrono>

namespace torvane {

Clock::TimePoint FakeClock::now() const {
    std::lock_guard lock(m_mutex);
    return m_now;
}

void FakeClock::sleep(Duration duration) {
    {
        std::lock_guard lock(m_mutex);
        m_now += std::chrono::duration_cast<std::chrono::steady_clock::duration>(duration);
        m_sleeps.push_back(duration.count());
    }
    if (onSleep) {
        onSleep();
    }
}

std::vector<double> FakeClock::sleeps() const {
    std::lock_guard lock(m_mutex);
    return m_sleeps;
}

struct FakeClock::TimerState {
    TimePoint due;
    std::optional<Duration> period;
    std::function<void()> fire;
    std::mutex firing; // held while firing, as a real clock's cancel waits
    bool done = false;
};

namespace {

class FakeTimer final : public Timer {
public:
    explicit FakeTimer(std::shared_ptr<FakeClock::TimerState> state) : m_state(std::move(state)) {}
    ~FakeTimer() override { cancel(); }
    void cancel() override {
        std::lock_guard lock(m_state->firing);
        m_state->done = true;
    }

private:
    std::shared_ptr<FakeClock::TimerState> m_state;
};

} // namespace

std::unique_ptr<Timer> FakeClock::startTimer(Duration delay, std::optional<Duration> period,
                                             Duration, std::function<void()> fire) {
    auto state = std::make_shared<TimerState>();
    std::lock_guard lock(m_mutex);
    state->due = m_now + std::chrono::duration_cast<std::chrono::steady_clock::duration>(delay);
    state->period = period;
    state->fire = std::move(fire);
    m_timers.push_back(state);
    m_started.push_back(
        {delay.count(), period ? std::optional<double>(period->count()) : std::nullopt});
    return std::make_unique<FakeTimer>(state);
}

void FakeClock::advance(Duration duration) {
    const auto target =
        now() + std::chrono::duration_cast<std::chrono::steady_clock::duration>(duration);
    for (;;) {
        std::shared_ptr<TimerState> next;
        {
            std::lock_guard lock(m_mutex);
            for (const auto& timer : m_timers) {
                std::lock_guard firing(timer->firing);
                if (!timer->done && timer->due <= target && (!next || timer->due < next->due)) {
                    next = timer;
                }
            }
            if (!next) {
                m_now = std::max(m_now, target);
                return;
            }
            m_now = std::max(m_now, next->due);
        }
        std::lock_guard firing(next->firing);
        if (next->done) {
            continue;
        }
        next->fire();
        if (next->period) {
            next->due +=
                std::chrono::duration_cast<std::chrono::steady_clock::duration>(*next->period);
        } else {
            next->done = true;
        }
    }
}

std::vector<FakeClock::TimerRecord> FakeClock::startedTimers() const {
    std::lock_guard lock(m_mutex);
    return m_started;
}

std::size_t FakeClock::activeTimers() const {
    std::lock_guard lock(m_mutex);
    std::size_t count = 0;
    for (const auto& timer : m_timers) {
        std::lock_guard firing(timer->firing);
        count += timer->done ? 0 : 1;
    }
    return count;
}

} // namespace torvane

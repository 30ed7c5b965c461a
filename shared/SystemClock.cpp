#include "shared/Clock.h"

#include <mutex>
#include <thread>

#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <asio/post.hpp>
#include <asio/steady_timer.hpp>

namespace torvane {

struct SystemClock::TimerThread {
    asio::io_context context;
    asio::executor_work_guard<asio::io_context::executor_type> work =
        asio::make_work_guard(context);
    std::thread thread{[this] {
        context.run();
    }};

    ~TimerThread() {
        work.reset();
        context.stop();
        thread.join();
    }
};

namespace {

/// Shared by the handle and the pending wait, so either may go first.
struct TimerState : std::enable_shared_from_this<TimerState> {
    TimerState(asio::io_context& context, std::optional<Clock::Duration> repeat,
               std::function<void()> function)
        : timer(context), period(repeat), fire(std::move(function)) {}

    void arm(std::chrono::steady_clock::time_point deadline) {
        next = deadline;
        timer.expires_at(deadline);
        timer.async_wait([self = shared_from_this()](const std::error_code& error) {
            if (error) {
                return;
            }
            std::lock_guard lock(self->mutex);
            if (self->cancelled) {
                return;
            }
            self->fire();
            if (self->period) {
                self->arm(
                    self->next +
                    std::chrono::duration_cast<std::chrono::steady_clock::duration>(*self->period));
            }
        });
    }

    asio::steady_timer timer;
    std::optional<Clock::Duration> period;
    std::function<void()> fire;
    std::chrono::steady_clock::time_point next;
    // Held while firing, so that cancel() returns only when no firing runs.
    std::mutex mutex;
    bool cancelled = false;
};

class SystemTimer final : public Timer {
public:
    SystemTimer(asio::io_context& context, std::shared_ptr<TimerState> state)
        : m_context(context), m_state(std::move(state)) {}
    ~SystemTimer() override { cancel(); }

    void cancel() override {
        {
            std::lock_guard lock(m_state->mutex);
            if (m_state->cancelled) {
                return;
            }
            m_state->cancelled = true;
        }
        // The asio timer belongs to the timer thread; release its wait there.
        asio::post(m_context, [state = m_state] { state->timer.cancel(); });
    }

private:
    asio::io_context& m_context;
    std::shared_ptr<TimerState> m_state;
};

} // namespace

SystemClock::SystemClock() = default;
SystemClock::~SystemClock() = default;

void SystemClock::sleep(Duration duration) {
    std::this_thread::sleep_for(duration);
}

std::unique_ptr<Timer> SystemClock::startTimer(Duration delay, std::optional<Duration> period,
                                               Duration /*leeway*/, std::function<void()> fire) {
    {
        std::lock_guard lock(m_mutex);
        if (!m_timers) {
            m_timers = std::make_unique<TimerThread>();
        }
    }
    auto state = std::make_shared<TimerState>(m_timers->context, period, std::move(fire));
    const auto deadline =
        now() + std::chrono::duration_cast<std::chrono::steady_clock::duration>(delay);
    asio::post(m_timers->context, [state, deadline] { state->arm(deadline); });
    return std::make_unique<SystemTimer>(m_timers->context, std::move(state));
}

} // namespace torvane

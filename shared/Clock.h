#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace torvane {

/// A running timer. Cancelling (or destroying) it guarantees that its fire
/// function is neither running nor called again once `cancel` returns.
class Timer {
public:
    virtual ~Timer() = default;
    virtual void cancel() = 0;
};

/// Time for the daemon's engine and the app's helper client: what time it
/// is, blocking pauses (for charon to start, after a wake, between repair
/// steps), and timers (time limits, retries, keepalives). Tests substitute a
/// clock whose time moves only when they say so.
class Clock {
public:
    using Duration = std::chrono::duration<double>;
    using TimePoint = std::chrono::steady_clock::time_point;

    virtual ~Clock() = default;
    virtual TimePoint now() const = 0;
    /// Blocks the calling thread for `duration`.
    virtual void sleep(Duration duration) = 0;
    /// Calls `fire` once `delay` has passed and then every `period` when one
    /// is given, on a thread of the clock's own; `fire` must only hand work
    /// on. `leeway` is how late a firing may be, for clocks that batch.
    virtual std::unique_ptr<Timer> startTimer(Duration delay, std::optional<Duration> period,
                                              Duration leeway, std::function<void()> fire) = 0;
};

/// The steady clock, with timers on one thread of its own started on first
/// use. Must outlive every timer it started.
class SystemClock final : public Clock {
public:
    SystemClock();
    ~SystemClock() override;
    SystemClock(const SystemClock&) = delete;
    SystemClock& operator=(const SystemClock&) = delete;

    TimePoint now() const override { return std::chrono::steady_clock::now(); }
    void sleep(Duration duration) override;
    std::unique_ptr<Timer> startTimer(Duration delay, std::optional<Duration> period,
                                      Duration leeway, std::function<void()> fire) override;

private:
    struct TimerThread;
    std::mutex m_mutex; // guards the lazy start of the timer thread
    std::unique_ptr<TimerThread> m_timers;
};

} // namespace torvane

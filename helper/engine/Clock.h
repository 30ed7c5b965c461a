#pragma once

#include <chrono>

namespace torvane {

/// Time for the engine. The engine waits on its own queue (for charon to
/// start, between listings); tests substitute a clock that only pretends.
class Clock {
public:
    using Duration = std::chrono::duration<double>;
    using TimePoint = std::chrono::steady_clock::time_point;

    virtual ~Clock() = default;
    virtual TimePoint now() const = 0;
    /// Blocks the calling thread for `duration`.
    virtual void sleep(Duration duration) = 0;
};

class SystemClock final : public Clock {
public:
    TimePoint now() const override { return std::chrono::steady_clock::now(); }
    void sleep(Duration duration) override;
};

} // namespace torvane

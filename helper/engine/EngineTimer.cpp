#include "helper/engine/EngineTimer.h"

namespace torvane {

EngineTimer::EngineTimer(Clock& clock, EngineQueue& queue, Clock::Duration delay,
                         std::optional<Clock::Duration> period, Clock::Duration leeway,
                         std::function<void()> handler)
    : m_armed(std::make_shared<bool>(true)) {
    auto job = std::make_shared<std::function<void()>>(std::move(handler));
    m_timer = clock.startTimer(delay, period, leeway, [&queue, armed = m_armed, job] {
        // `armed` is read and written on the queue only.
        queue.post([armed, job] {
            if (*armed) {
                (*job)();
            }
        });
    });
}

EngineTimer::~EngineTimer() {
    cancel();
}

void EngineTimer::cancel() {
    *m_armed = false;
    if (m_timer) {
        m_timer->cancel();
    }
}

} // namespace torvane

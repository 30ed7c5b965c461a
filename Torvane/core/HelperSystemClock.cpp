#include "HelperSystemClock.h"

namespace torvane {
namespace {

std::chrono::steady_clock::duration durationOf(double seconds) {
    return std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(seconds > 0 ? seconds : 0));
}

} // namespace

HelperSystemClock::HelperSystemClock() : m_thread([this] { runTimers(); }) {}

HelperSystemClock::~HelperSystemClock() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

void HelperSystemClock::sleep(double seconds) {
    std::this_thread::sleep_for(durationOf(seconds));
}

void HelperSystemClock::after(double seconds, std::function<void()> action) {
    {
        std::lock_guard lock(m_mutex);
        m_timers.emplace(std::chrono::steady_clock::now() + durationOf(seconds), std::move(action));
    }
    m_changed.notify_all();
}

void HelperSystemClock::runTimers() {
    std::unique_lock lock(m_mutex);
    while (!m_stopping) {
        if (m_timers.empty()) {
            m_changed.wait(lock);
            continue;
        }
        const auto due = m_timers.begin()->first;
        if (std::chrono::steady_clock::now() < due) {
            m_changed.wait_until(lock, due);
            continue;
        }
        auto action = std::move(m_timers.begin()->second);
        m_timers.erase(m_timers.begin());
        lock.unlock();
        action();
        lock.lock();
    }
}

} // namespace torvane

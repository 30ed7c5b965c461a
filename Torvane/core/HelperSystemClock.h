#pragma once

#include "HelperClock.h"

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

namespace torvane {

/// Real time: sleeps block, delayed actions run on one timer thread in the
/// order they fall due. Destroying the clock drops actions not yet due.
class HelperSystemClock final : public HelperClock {
public:
    HelperSystemClock();
    ~HelperSystemClock() override;
    HelperSystemClock(const HelperSystemClock&) = delete;
    HelperSystemClock& operator=(const HelperSystemClock&) = delete;

    void sleep(double seconds) override;
    void after(double seconds, std::function<void()> action) override;

private:
    void runTimers();

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::multimap<std::chrono::steady_clock::time_point, std::function<void()>> m_timers;
    bool m_stopping = false;
    std::thread m_thread;
};

} // namespace torvane

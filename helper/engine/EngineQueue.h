#pragma once

#include <functional>
#include <mutex>
#include <thread>

#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>

namespace torvane {

/// The engine's one serial queue: an io_context run by a single thread.
/// Commands, timers, event handlers and callbacks all post onto it, so
/// engine work never interleaves.
///
/// Every job runs while holding `jobMutex()`. The daemon's exit path takes
/// the same mutex to tear down from its own thread: it waits for the job in
/// progress to finish, then no further job runs.
class EngineQueue {
public:
    EngineQueue();
    ~EngineQueue();
    EngineQueue(const EngineQueue&) = delete;
    EngineQueue& operator=(const EngineQueue&) = delete;

    /// Runs `job` on the queue thread after everything posted before it.
    void post(std::function<void()> job);

    /// True on the queue thread.
    bool isCurrent() const { return std::this_thread::get_id() == m_thread.get_id(); }

    asio::io_context& context() { return m_context; }

    /// Stops running jobs for good (jobs still queued are dropped). Takes the
    /// job mutex, so it returns after a running job has finished.
    std::unique_lock<std::mutex> close();

private:
    asio::io_context m_context;
    asio::executor_work_guard<asio::io_context::executor_type> m_work;
    std::mutex m_jobMutex;
    bool m_closed = false;
    std::thread m_thread;
};

} // namespace torvane

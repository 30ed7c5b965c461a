#pragma once

#include <atomic>
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

    /// True where the state the queue serialises may be touched: on the
    /// queue thread, or on the thread that closed the queue, which owns that
    /// state from then on because no job runs any more.
    bool ownsState() const;

    /// Aborts, naming the calling function, unless `ownsState()`. Kept in
    /// every build: work run off the queue races the queue's own jobs and
    /// corrupts state silently, and the check is one comparison of thread
    /// ids. (The caller passes __func__: std::source_location is missing
    /// from the clang our sanitizer build uses.)
    void assertOwnsState(const char* function) const;

    asio::io_context& context() { return m_context; }

    /// Stops running jobs for good (jobs still queued are dropped). Takes the
    /// job mutex, so it returns after a running job has finished.
    std::unique_lock<std::mutex> close();

private:
    asio::io_context m_context;
    asio::executor_work_guard<asio::io_context::executor_type> m_work;
    std::mutex m_jobMutex;
    bool m_closed = false;
    /// Set once, by close(); read from any thread.
    std::atomic<std::thread::id> m_closer;
    std::thread m_thread;
};

} // namespace torvane

#pragma once

#include <atomic>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <thread>

namespace torvane {

/// Runs each piece of helper-client work on a thread of its own, so that the
/// caller never waits for the daemon, a pause or a time limit. Finished
/// threads are joined when the next piece starts and, at the latest, by
/// `joinAll`.
class HelperTasks {
public:
    HelperTasks() = default;
    ~HelperTasks() { joinAll(); }
    HelperTasks(const HelperTasks&) = delete;
    HelperTasks& operator=(const HelperTasks&) = delete;

    void run(std::function<void()> work);
    /// Waits for every piece of work, including any started meanwhile. Never
    /// call it from a piece of work.
    void joinAll();

private:
    struct Task {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> finished;
    };

    std::mutex m_mutex;
    std::list<Task> m_tasks;
};

} // namespace torvane

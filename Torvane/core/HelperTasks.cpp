#include "Torvane/core/HelperTasks.h"

namespace torvane {

void HelperTasks::run(std::function<void()> work) {
    std::list<Task> finished;
    {
        std::lock_guard lock(m_mutex);
        for (auto it = m_tasks.begin(); it != m_tasks.end();) {
            const auto next = std::next(it);
            if (it->finished->load()) {
                finished.splice(finished.end(), m_tasks, it);
            }
            it = next;
        }
        auto flag = std::make_shared<std::atomic<bool>>(false);
        m_tasks.push_back(Task{std::thread([work = std::move(work), flag] {
                                   work();
                                   flag->store(true);
                               }),
                               flag});
    }
    for (auto& task : finished) {
        task.thread.join();
    }
}

void HelperTasks::joinAll() {
    while (true) {
        std::list<Task> tasks;
        {
            std::lock_guard lock(m_mutex);
            tasks.swap(m_tasks);
        }
        if (tasks.empty()) {
            return;
        }
        for (auto& task : tasks) {
            task.thread.join();
        }
    }
}

} // namespace torvane

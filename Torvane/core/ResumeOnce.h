#pragma once

#include <condition_variable>
#include <mutex>
#include <optional>

namespace torvane {

/// A one-shot result that several parties race to deliver (a reply, the
/// connection's error, a time limit): the first `resume` wins, later ones are
/// ignored. Share it through a shared_ptr so that late deliverers can still
/// reach it after the waiter has moved on.
template <class T> class ResumeOnce {
public:
    /// True when this call delivered the result.
    bool resume(T value) {
        {
            std::lock_guard lock(m_lock);
            if (m_done) {
                return false;
            }
            m_done = true;
            m_value.emplace(std::move(value));
        }
        m_resumed.notify_all();
        return true;
    }

    /// Blocks until the result has been delivered.
    T wait() {
        std::unique_lock lock(m_lock);
        m_resumed.wait(lock, [this] { return m_done; });
        return *m_value;
    }

private:
    std::mutex m_lock;
    std::condition_variable m_resumed;
    bool m_done = false;
    std::optional<T> m_value;
};

} // namespace torvane

#pragma once

#include <functional>
#include <memory>
#include <mutex>

#include <QMetaObject>
#include <QObject>

namespace torvane::cli {

/// Moves completions that the daemon client calls on its own threads to the
/// thread of `target`, for as long as `target` lives: its owner calls
/// `release()` before destroying it, and completions after that are dropped.
class ThreadHop {
public:
    explicit ThreadHop(QObject* target) : m_target(target) {}

    void post(std::function<void()> work) {
        std::lock_guard lock(m_mutex);
        if (m_target != nullptr) {
            QMetaObject::invokeMethod(m_target, std::move(work), Qt::QueuedConnection);
        }
    }

    void release() {
        std::lock_guard lock(m_mutex);
        m_target = nullptr;
    }

    /// `body` wrapped so that, called on any thread, it runs on the target's
    /// thread with the same arguments.
    template <class Body> static auto wrap(std::shared_ptr<ThreadHop> hop, Body body) {
        return [hop = std::move(hop), body = std::move(body)](auto... args) {
            hop->post([body, args...]() mutable { body(std::move(args)...); });
        };
    }

private:
    std::mutex m_mutex;
    QObject* m_target;
};

} // namespace torvane::cli

#include "EngineQueue.h"

#include <asio/post.hpp>

namespace torvane {

EngineQueue::EngineQueue() : m_work(asio::make_work_guard(m_context)) {
    m_thread = std::thread([this] { m_context.run(); });
}

EngineQueue::~EngineQueue() {
    m_work.reset();
    m_context.stop();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void EngineQueue::post(std::function<void()> job) {
    asio::post(m_context, [this, job = std::move(job)] {
        std::lock_guard lock(m_jobMutex);
        if (!m_closed) {
            job();
        }
    });
}

std::unique_lock<std::mutex> EngineQueue::close() {
    std::unique_lock lock(m_jobMutex);
    m_closed = true;
    return lock;
}

} // namespace torvane

#include "helper/engine/EngineQueue.h"

#include <cstdio>
#include <cstdlib>

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
    m_closer = std::this_thread::get_id();
    return lock;
}

bool EngineQueue::ownsState() const {
    const auto self = std::this_thread::get_id();
    return self == m_thread.get_id() || self == m_closer.load();
}

void EngineQueue::assertOwnsState(const char* function) const {
    if (ownsState()) {
        return;
    }
    // Straight to stderr, which the service manager keeps: the daemon's own
    // log goes through the engine whose state is in doubt.
    std::fprintf(stderr, "torvane-helper: %s ran off the engine queue — aborting\n", function);
    std::fflush(stderr);
    std::abort();
}

} // namespace torvane

#include "helper/engine/ReplyDeadlines.h"

#include <algorithm>

namespace torvane {

bool OnceReply::answer(std::string answer) {
    Reply reply;
    {
        std::lock_guard lock(m_lock);
        if (m_answered) {
            return false;
        }
        m_answered = true;
        reply = std::move(m_reply);
    }
    // Outside the lock: the reply writes to a connection and may take its
    // own locks.
    if (reply) {
        reply(std::move(answer));
    }
    return true;
}

bool OnceReply::answered() const {
    std::lock_guard lock(m_lock);
    return m_answered;
}

ReplyDeadlines::~ReplyDeadlines() {
    {
        std::lock_guard lock(m_lock);
        m_stopping = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

std::shared_ptr<OnceReply> ReplyDeadlines::arm(OnceReply::Reply reply,
                                               std::chrono::milliseconds limit,
                                               std::string lateAnswer) {
    auto once = std::make_shared<OnceReply>(std::move(reply));
    {
        std::lock_guard lock(m_lock);
        m_pending.push_back(
            {std::chrono::steady_clock::now() + limit, once, std::move(lateAnswer)});
        if (!m_thread.joinable()) {
            m_thread = std::thread([this] { run(); });
        }
    }
    m_wake.notify_all();
    return once;
}

void ReplyDeadlines::run() {
    std::unique_lock lock(m_lock);
    while (!m_stopping) {
        // Answered replies need no watching; a late one is sent after this.
        std::erase_if(m_pending, [](const Pending& entry) { return entry.reply->answered(); });
        if (m_pending.empty()) {
            m_wake.wait(lock);
            continue;
        }
        const auto first = std::min_element(
            m_pending.begin(), m_pending.end(),
            [](const Pending& a, const Pending& b) { return a.deadline < b.deadline; });
        // A copy: while waiting, arm() may grow the list and move `first`.
        const auto deadline = first->deadline;
        if (std::chrono::steady_clock::now() < deadline) {
            m_wake.wait_until(lock, deadline);
            continue;
        }
        Pending due = std::move(*first);
        m_pending.erase(first);
        lock.unlock();
        due.reply->answer(std::move(due.lateAnswer));
        lock.lock();
    }
}

} // namespace torvane

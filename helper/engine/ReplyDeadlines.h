#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace torvane {

/// A reply that goes out exactly once: with the job's answer, or with a
/// stand-in once its time is up. A read-only call waiting on the engine queue
/// can sit behind a start or reconnect for much longer than its caller
/// waits; the stand-in tells the caller so, and the job, when its turn comes,
/// sees that it has been answered and does nothing.
class OnceReply {
public:
    using Reply = std::function<void(std::string)>;
    explicit OnceReply(Reply reply) : m_reply(std::move(reply)) {}

    /// Sends `answer` unless something was sent already; true when it went.
    /// Any thread.
    bool answer(std::string answer);
    bool answered() const;

private:
    mutable std::mutex m_lock;
    Reply m_reply;
    bool m_answered = false;
};

/// Sends the stand-in of every armed reply still unanswered at its deadline,
/// from a thread of its own (the engine queue may be the thing that is
/// stuck). The thread starts with the first reply armed and ends with the
/// object; replies still pending then are dropped unanswered.
class ReplyDeadlines {
public:
    ReplyDeadlines() = default;
    ~ReplyDeadlines();
    ReplyDeadlines(const ReplyDeadlines&) = delete;
    ReplyDeadlines& operator=(const ReplyDeadlines&) = delete;

    /// A reply answered with `lateAnswer` unless answered within `limit`.
    std::shared_ptr<OnceReply> arm(OnceReply::Reply reply, std::chrono::milliseconds limit,
                                   std::string lateAnswer);

private:
    struct Pending {
        std::chrono::steady_clock::time_point deadline;
        std::shared_ptr<OnceReply> reply;
        std::string lateAnswer;
    };
    void run();

    std::mutex m_lock;
    std::condition_variable m_wake;
    std::vector<Pending> m_pending;
    bool m_stopping = false;
    std::thread m_thread;
};

} // namespace torvane

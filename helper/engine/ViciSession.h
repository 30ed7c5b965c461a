#pragma once

#include "helper/strongswan/ViciMessage.h"
#include "shared/Expected.h"

#include <chrono>
#include <functional>
#include <string>

namespace torvane {

/// One connection to charon's control socket for a command and the events
/// it streams. Every read and write waits at most until the deadline and
/// gives up when the interrupt descriptor becomes readable, so a command
/// never holds the engine longer than its time limit.
class ViciSession {
public:
    using Deadline = std::chrono::steady_clock::time_point;

    /// Connects to "unix://PATH".
    static Expected<ViciSession, std::string> open(const std::string& uri, Deadline deadline,
                                                   int interruptFd);
    ViciSession(ViciSession&& other) noexcept;
    ViciSession& operator=(ViciSession&&) = delete;
    ~ViciSession();

    /// Subscribes to `event` (charon streams a listing's entries and a
    /// command's log as events).
    Expected<bool, std::string> subscribe(const std::string& event);
    /// Sends the command and returns its response; events that arrive
    /// first go to `onEvent`.
    Expected<ViciMessage, std::string>
    call(const std::string& command, const ViciMessage& request,
         const std::function<void(const ViciReceived&)>& onEvent);

private:
    ViciSession(int fd, Deadline deadline, int interruptFd)
        : m_fd(fd), m_deadline(deadline), m_interruptFd(interruptFd) {}
    Expected<bool, std::string> send(const std::string& bytes);
    Expected<ViciReceived, std::string> receive();
    /// Waits until the socket is ready for `events`; an error text on
    /// timeout or interruption.
    std::optional<std::string> wait(short events);

    int m_fd;
    Deadline m_deadline;
    int m_interruptFd;
};

} // namespace torvane

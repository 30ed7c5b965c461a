#include "tests/fakes/FakeChildProcess.h"

namespace torvane {

FakeChildProcess::FakeChildProcess(pid_t pid, OutputHandler onOutput)
    : m_pid(pid), m_onOutput(std::move(onOutput)) {}

bool FakeChildProcess::isRunning() {
    std::lock_guard lock(m_mutex);
    return !m_exitStatus;
}

void FakeChildProcess::terminate() {
    bool exits = false;
    {
        std::lock_guard lock(m_mutex);
        ++m_terminateCount;
        exits = m_exitsOnTerminate;
    }
    if (exits) {
        exit(128 + 15);
    }
}

void FakeChildProcess::kill() {
    {
        std::lock_guard lock(m_mutex);
        ++m_killCount;
    }
    exit(128 + 9);
}

void FakeChildProcess::waitUntilExit() {
    std::unique_lock lock(m_mutex);
    m_exited.wait(lock, [this] { return m_exitStatus.has_value(); });
}

void FakeChildProcess::stopReadingOutput() {
    if (m_handlerThread.load() == std::this_thread::get_id()) {
        // From inside the handler, which already holds the lock.
        m_readingStopped = true;
        return;
    }
    std::lock_guard lock(m_handlerMutex);
    m_readingStopped = true;
}

bool FakeChildProcess::pushOutput(std::string_view chunk) {
    if (exitStatus()) {
        return false;
    }
    std::lock_guard lock(m_handlerMutex);
    if (m_readingStopped || !m_onOutput) {
        return false;
    }
    m_handlerThread = std::this_thread::get_id();
    m_onOutput(chunk);
    m_handlerThread = std::thread::id();
    return true;
}

void FakeChildProcess::exit(int status) {
    std::lock_guard lock(m_mutex);
    if (!m_exitStatus) {
        m_exitStatus = status;
        m_exited.notify_all();
    }
}

void FakeChildProcess::setExitsOnTerminate(bool exits) {
    std::lock_guard lock(m_mutex);
    m_exitsOnTerminate = exits;
}

std::optional<int> FakeChildProcess::exitStatus() const {
    std::lock_guard lock(m_mutex);
    return m_exitStatus;
}

int FakeChildProcess::terminateCount() const {
    std::lock_guard lock(m_mutex);
    return m_terminateCount;
}

int FakeChildProcess::killCount() const {
    std::lock_guard lock(m_mutex);
    return m_killCount;
}

bool FakeChildProcess::readingStopped() const {
    return m_readingStopped;
}

bool FakeChildProcess::released() const {
    std::lock_guard lock(m_mutex);
    return m_released;
}

void FakeChildProcess::markReleased() {
    std::lock_guard lock(m_mutex);
    m_released = true;
}

} // namespace torvane

#include "helper/process/PosixChildProcess.h"

#include <cerrno>
#include <csignal>
#include <sys/wait.h>

namespace torvane {

PosixChildProcess::PosixChildProcess(SpawnedChild child, OutputHandler onOutput)
    : m_pid(child.pid), m_pidFd(std::move(child.pidFd)), m_onOutput(std::move(onOutput)) {
    m_reader = std::make_unique<OutputReader>(std::move(child.output),
                                              [this](std::string_view chunk) { deliver(chunk); });
}

PosixChildProcess::~PosixChildProcess() {
    stopReadingOutput();
    {
        std::lock_guard lock(m_stateMutex);
        reapLocked(false);
        if (!m_exitStatus) {
            ::kill(m_pid, SIGKILL);
            reapLocked(true);
        }
    }
    // A descendant may still hold the pipe open; the reader must not wait
    // for it.
    m_reader->stop();
    m_reader->join();
}

void PosixChildProcess::deliver(std::string_view chunk) {
    std::lock_guard lock(m_handlerMutex);
    if (!m_readingStopped && m_onOutput) {
        m_onOutput(chunk);
    }
}

bool PosixChildProcess::isRunning() {
    std::lock_guard lock(m_stateMutex);
    reapLocked(false);
    return !m_exitStatus;
}

void PosixChildProcess::terminate() {
    sendSignal(SIGTERM);
}

void PosixChildProcess::kill() {
    sendSignal(SIGKILL);
}

void PosixChildProcess::sendSignal(int signal) {
    std::lock_guard lock(m_stateMutex);
    if (!m_exitStatus) {
        ::kill(m_pid, signal);
    }
}

void PosixChildProcess::waitUntilExit() {
    {
        std::lock_guard lock(m_stateMutex);
        if (m_exitStatus) {
            return;
        }
    }
    // Wait without the lock, so that other threads can still signal it.
    waitForProcessExit(m_pidFd, std::nullopt);
    std::lock_guard lock(m_stateMutex);
    reapLocked(true);
}

void PosixChildProcess::stopReadingOutput() {
    if (m_reader && m_reader->isReaderThread()) {
        // Called from inside the handler, which holds m_handlerMutex.
        m_readingStopped = true;
        return;
    }
    std::lock_guard lock(m_handlerMutex);
    m_readingStopped = true;
}

std::optional<int> PosixChildProcess::exitStatus() const {
    std::lock_guard lock(m_stateMutex);
    return m_exitStatus;
}

void PosixChildProcess::reapLocked(bool block) {
    if (m_exitStatus) {
        return;
    }
    int waitStatus = 0;
    for (;;) {
        const pid_t result = ::waitpid(m_pid, &waitStatus, block ? 0 : WNOHANG);
        if (result == m_pid) {
            m_exitStatus = exitStatusFromWaitStatus(waitStatus);
            return;
        }
        if (result == 0) {
            return;
        }
        if (errno != EINTR) {
            // ECHILD: reaped behind our back; it is gone all the same.
            m_exitStatus = -1;
            return;
        }
    }
}

} // namespace torvane

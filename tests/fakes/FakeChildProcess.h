#pragma once

#include "helper/process/ChildProcess.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace torvane {

/// A child that a FakeProcessLauncher "started". The test drives it: it
/// pushes output, lets it exit, and reads back which signals the code under
/// test sent. Thread-safe.
///
/// By default SIGTERM ends it (status 143), as charon and dnsmasq do;
/// setExitsOnTerminate(false) makes it ignore SIGTERM. kill() always ends it
/// (status 137). waitUntilExit() blocks until it has exited, so a test that
/// lets the code under test wait must end the child from another thread.
class FakeChildProcess final : public ChildProcess {
public:
    FakeChildProcess(pid_t pid, OutputHandler onOutput);

    // What the code under test sees.
    pid_t pid() const override { return m_pid; }
    bool isRunning() override;
    void terminate() override;
    void kill() override;
    void waitUntilExit() override;
    void stopReadingOutput() override;

    // What the test controls and inspects.
    /// Hands `chunk` to the output handler on the calling thread; returns
    /// false (and drops it) once reading was stopped or the child has exited.
    bool pushOutput(std::string_view chunk);
    /// Lets the child exit with `status` (no effect when it already has).
    void exit(int status);
    void setExitsOnTerminate(bool exits);
    std::optional<int> exitStatus() const override;
    int terminateCount() const;
    int killCount() const;
    bool readingStopped() const;
    /// True once the code under test dropped the handle it was given.
    bool released() const;
    void markReleased();

private:
    const pid_t m_pid;

    mutable std::mutex m_mutex;
    std::condition_variable m_exited;
    std::optional<int> m_exitStatus;
    bool m_exitsOnTerminate = true;
    int m_terminateCount = 0;
    int m_killCount = 0;
    bool m_released = false;

    // Held while the handler runs, as the real child does, so that
    // stopReadingOutput() returning means no call is under way.
    std::mutex m_handlerMutex;
    std::atomic<std::thread::id> m_handlerThread;
    std::atomic<bool> m_readingStopped = false;
    OutputHandler m_onOutput;
};

} // namespace torvane

#pragma once

#include "helper/process/ChildProcess.h"
#include "shared/process/ChildSpawn.h"
#include "shared/process/OutputReader.h"

#include <memory>
#include <mutex>
#include <optional>

namespace torvane {

/// A running child of the daemon with its merged output read on a thread of
/// its own.
///
/// The process is reaped only under the object's lock, and signals are sent
/// only while it is not yet reaped, so a signal can never reach another
/// process that inherited the pid. All members may be called from any thread.
/// Destroying the object stops the output callbacks, kills a child that still
/// runs (SIGKILL), reaps it and ends the reader thread.
class PosixChildProcess final : public ChildProcess {
public:
    /// Takes over a child that spawnWithMergedOutput started.
    PosixChildProcess(SpawnedChild child, OutputHandler onOutput);
    ~PosixChildProcess() override;

    pid_t pid() const override { return m_pid; }
    bool isRunning() override;
    void terminate() override;
    void kill() override;
    void waitUntilExit() override;
    /// Safe to call from inside the output handler. Output that arrives later
    /// is still read and dropped, so the child never blocks on a full pipe.
    void stopReadingOutput() override;

    /// The exit status (128 + signal for a signalled child) once the process
    /// has been reaped; -1 when something else in the daemon reaped it.
    std::optional<int> exitStatus() const override;

private:
    void deliver(std::string_view chunk);
    void sendSignal(int signal);
    /// With m_stateMutex held. `block`: wait for the exit.
    void reapLocked(bool block);

    const pid_t m_pid;
    UniqueFd m_pidFd;

    mutable std::mutex m_stateMutex;
    std::optional<int> m_exitStatus;

    // Held while the handler runs, so that stopReadingOutput() returning
    // means no call is under way and none will start.
    std::mutex m_handlerMutex;
    bool m_readingStopped = false;
    OutputHandler m_onOutput;

    // Last, so that it is built after and destroyed before everything the
    // reader thread touches.
    std::unique_ptr<OutputReader> m_reader;
};

} // namespace torvane

#pragma once

#include "helper/engine/EngineQueue.h"
#include "helper/engine/ViciEvents.h"
#include "helper/network/ChangeJournal.h"
#include "helper/network/NetworkContext.h"
#include "helper/process/ChildProcess.h"
#include "helper/process/OwnProcesses.h"
#include "shared/Clock.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace torvane {

/// The one charon all tunnels share: launches it, connects to its VICI
/// socket for events, relays its output to the app's log, stops it, and
/// cleans up after a charon of ours that did not stop through our own
/// teardown. Journals the running charon through the network context so that
/// a later daemon can end it.
///
/// Lives inside the engine and runs on its queue only; only charon's output
/// and libvici's events arrive on other threads, and both are handed on.
class CharonSupervisor {
public:
    CharonSupervisor(NetworkContext& context, ProcessLauncher& launcher, ViciConnector& vici,
                     OwnProcesses& processes, Clock& clock, EngineQueue& queue);
    CharonSupervisor(const CharonSupervisor&) = delete;
    CharonSupervisor& operator=(const CharonSupervisor&) = delete;

    /// Called on the queue with each VICI event's name.
    void setEventHandler(std::function<void(const std::string& name)> handler);

    /// Launches charon unless the one tracked still runs (a dead one is
    /// stopped and relaunched), waits for its VICI socket and subscribes to
    /// events. True when it launched one; throws EngineError when the socket
    /// does not appear.
    bool ensureRunning(const std::string& charonBin);
    /// A charon was launched and not stopped since (it may have died).
    bool isTracked() const;
    /// When the tracked charon no longer runs: its exit status (-1 when
    /// unknown). Nothing while it runs or when none is tracked.
    std::optional<int> deathStatus();
    /// Closes VICI, then SIGTERM, up to 3 s, SIGKILL; removes what a charon
    /// that did not stop cleanly left in the routing tables.
    void stop();
    void closeVici();
    /// For the engine's destructor: no output reaches the log any more.
    void stopRelayingOutput();

    /// Ends what is left in the daemon's own service group (only processes
    /// called `name` when given) and logs each by pid.
    void endOwnLeftovers(const std::optional<std::string>& name);
    /// The routing rules and routes a charon that was killed or crashed left.
    void removeLeftovers();
    /// Ends the process a killed predecessor journaled under `key`, by its
    /// identity only, and logs the outcome.
    void endJournaledProcess(const std::string& key, const UndoStep& step);

private:
    void assertOnQueue(const char* function) const { m_queue.assertOwnsState(function); }
    void launch(const std::string& charonBin);
    void waitForViciSocket();
    void connectVici();
    std::string viciUri() const;

    NetworkContext& m_context;
    ProcessLauncher& m_launcher;
    ViciConnector& m_viciConnector;
    OwnProcesses& m_processes;
    Clock& m_clock;
    EngineQueue& m_queue;
    std::function<void(const std::string&)> m_onEvent;

    std::unique_ptr<ChildProcess> m_process;
    std::unique_ptr<ViciEvents> m_vici;
};

} // namespace torvane

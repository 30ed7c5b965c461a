// The one charon all tunnels share, and its VICI event connection.
#include "helper/engine/CharonSupervisor.h"

#include "helper/process/EndChild.h"
#include "helper/process/EngineError.h"
#include "helper/strongswan/StagingLayout.h"

#include <csignal>
#include <filesystem>
#include <limits>

namespace torvane {

CharonSupervisor::CharonSupervisor(NetworkContext& context, ProcessLauncher& launcher,
                                   ViciConnector& vici, OwnProcesses& processes, Clock& clock,
                                   EngineQueue& queue)
    : m_context(context), m_launcher(launcher), m_viciConnector(vici), m_processes(processes),
      m_clock(clock), m_queue(queue) {}

void CharonSupervisor::setEventHandler(std::function<void(const std::string&)> handler) {
    m_onEvent = std::move(handler);
}

std::string CharonSupervisor::viciUri() const {
    return torvane::viciUri(m_context.stagingRoot);
}

bool CharonSupervisor::isTracked() const {
    assertOnQueue(__func__);
    return m_process != nullptr;
}

std::optional<int> CharonSupervisor::deathStatus() {
    assertOnQueue(__func__);
    if (!m_process || m_process->isRunning()) {
        return std::nullopt;
    }
    return m_process->exitStatus().value_or(-1);
}

bool CharonSupervisor::ensureRunning(const std::string& charonBin) {
    assertOnQueue(__func__);
    if (m_process && m_process->isRunning()) {
        return false;
    }
    if (m_process) {
        m_context.log("tracked charon is not running — relaunching");
        stop();
    }
    // A charon of ours from an earlier run would hold the IKE ports and the
    // pid file. Those the journal named were ended when this daemon started;
    // one left in our own service group goes now. Nobody else's is touched.
    endOwnLeftovers("charon");
    launch(charonBin);
    waitForViciSocket();
    connectVici();
    return true;
}

void CharonSupervisor::launch(const std::string& charonBin) {
    assertOnQueue(__func__);
    const std::string& stagingRoot = m_context.stagingRoot;
    std::error_code ignored;
    std::filesystem::create_directories(stagingRoot, ignored);

    // charon's output arrives in chunks on a reader thread; whole lines are
    // reassembled there before they reach the app's log.
    auto pending = std::make_shared<std::string>();
    auto onOutput = [this, pending](std::string_view chunk) {
        pending->append(chunk);
        std::size_t start = 0;
        for (auto newline = pending->find('\n'); newline != std::string::npos;
             newline = pending->find('\n', start)) {
            if (newline > start) {
                m_context.appLog(pending->substr(start, newline - start));
            }
            start = newline + 1;
        }
        pending->erase(0, start);
    };
    m_process = m_launcher.launch(
        charonBin, {}, EnvironmentOverlay{{"STRONGSWAN_CONF", stagingRoot + "/strongswan.conf"}},
        onOutput);
    m_context.recordChild("process charon", m_process->pid(), "charon");
    m_context.log("charon launched (pid " + std::to_string(m_process->pid()) + ")");
    m_clock.sleep(std::chrono::seconds(1));
}

void CharonSupervisor::waitForViciSocket() {
    assertOnQueue(__func__);
    const std::string socketPath = m_context.stagingRoot + "/" + std::string(kViciSocketFile);
    for (int attempt = 0; attempt < 50; ++attempt) {
        std::error_code ignored;
        if (std::filesystem::exists(socketPath, ignored)) {
            return;
        }
        m_clock.sleep(std::chrono::milliseconds(100));
    }
    throw EngineError("charon VICI socket did not appear at " + socketPath);
}

void CharonSupervisor::connectVici() {
    assertOnQueue(__func__);
    auto connection = m_viciConnector.connect(viciUri());
    if (!connection) {
        m_context.log(
            "warning: could not connect libvici for events; status will rely on initiate result");
        return;
    }
    // Events arrive on libvici's thread; only the queue may act on them.
    connection->onEvent = [this](const std::string& name) {
        m_queue.post([this, name] {
            if (m_onEvent) {
                m_onEvent(name);
            }
        });
    };
    connection->registerEvent("ike-updown");
    connection->registerEvent("child-updown");
    closeVici();
    m_vici = std::move(connection);
    m_context.log("subscribed to VICI ike-updown / child-updown events");
}

void CharonSupervisor::closeVici() {
    assertOnQueue(__func__);
    if (m_vici) {
        m_vici->close();
        m_vici.reset();
    }
}

void CharonSupervisor::stopRelayingOutput() {
    assertOnQueue(__func__);
    if (m_process) {
        m_process->stopReadingOutput();
    }
}

void CharonSupervisor::stop() {
    assertOnQueue(__func__);
    closeVici();
    if (m_process) {
        endChild(*m_process, m_clock, std::chrono::seconds(3));
        m_process->stopReadingOutput();
        // Only a charon that ended through its own SIGTERM handling (or
        // exited by itself) cleaned up; killed or crashed, it did not.
        const auto status = m_process->exitStatus();
        if (status != 0 && status != 128 + SIGTERM) {
            removeLeftovers();
        }
    }
    m_process.reset();
    m_context.forgetUndo("process charon");
}

void CharonSupervisor::endOwnLeftovers(const std::optional<std::string>& name) {
    assertOnQueue(__func__);
    const auto ended = m_processes.end(m_processes.leftoversInOwnGroup(name));
    for (const auto& process : ended) {
        m_context.log("ended pid " + std::to_string(process.pid) + " (" + process.executable +
                      "), left in the helper's own service group");
    }
    // A charon among them did not stop through our teardown.
    if (!ended.empty()) {
        removeLeftovers();
    }
}

void CharonSupervisor::removeLeftovers() {
    assertOnQueue(__func__);
    // A charon that stops normally removes the routing rule it added for
    // userspace ESP; one that was killed or crashed leaves it behind, and
    // perhaps routes in its table where its TUN device outlived it.
    const auto removed = m_context.routes.removeCharonLeftovers(std::chrono::seconds(5));
    for (int i = 0; i < removed.ipv4Rules; ++i) {
        m_context.log("removed the routing rule of a charon that did not stop cleanly (IPv4)");
    }
    for (int i = 0; i < removed.ipv6Rules; ++i) {
        m_context.log("removed the routing rule of a charon that did not stop cleanly (IPv6)");
    }
    if (removed.routes > 0) {
        m_context.log("removed " + std::to_string(removed.routes) +
                      " route(s) a charon that did not stop cleanly left in its table");
    }
}

void CharonSupervisor::endJournaledProcess(const std::string& key, const UndoStep& step) {
    assertOnQueue(__func__);
    const std::string pid = std::to_string(step.pid);
    if (!step.startTime) {
        // Without its start time the pid may be anybody's by now, and a
        // name says nothing about whose a process is.
        m_context.log("restore: " + key + " names pid " + pid +
                      " without its start time — skipped, no process is ended by name");
        return;
    }
    const bool validPid = step.pid > 1 && step.pid <= std::numeric_limits<pid_t>::max();
    const ProcessIdentity process{static_cast<pid_t>(validPid ? step.pid : 0), *step.startTime,
                                  step.executable};
    if (!validPid || m_processes.end({process}).empty()) {
        m_context.log("restored " + key + ": pid " + pid + " already gone");
    } else {
        m_context.log("restored " + key + ": ended pid " + pid);
    }
    // Gone or ended now, it did not stop through our own teardown.
    if (step.processName == "charon") {
        removeLeftovers();
    }
}

} // namespace torvane

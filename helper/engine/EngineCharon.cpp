// The one charon all tunnels share, and its VICI event connection.
#include "EngineError.h"
#include "StagingLayout.h"
#include "SwanctlOutput.h"
#include "VPNEngine.h"

#include <csignal>
#include <filesystem>

namespace torvane {

bool VPNEngine::ensureCharonRunning(const std::string& charonBin) {
    assertOnQueue(__func__);
    if (m_charon && m_charon->isRunning()) {
        return false;
    }
    if (m_charon) {
        log("tracked charon is not running — relaunching");
        closeVici();
        stopCharon();
    }
    // A charon of ours from an earlier run would hold the IKE ports and the
    // pid file. Those the journal named were ended when this daemon started;
    // one left in our own service group goes now. Nobody else's is touched.
    endOwnLeftovers("charon");
    launchCharon(charonBin);
    waitForViciSocket();
    connectVici();
    return true;
}

void VPNEngine::launchCharon(const std::string& charonBin) {
    assertOnQueue(__func__);
    std::error_code ignored;
    std::filesystem::create_directories(m_env.stagingRoot, ignored);

    // charon's output arrives in chunks on a reader thread; whole lines are
    // reassembled there before they reach the log.
    auto pending = std::make_shared<std::string>();
    auto onOutput = [this, pending](std::string_view chunk) {
        pending->append(chunk);
        std::size_t start = 0;
        for (auto newline = pending->find('\n'); newline != std::string::npos;
             newline = pending->find('\n', start)) {
            relayCharonOutput(std::string_view(*pending).substr(start, newline - start));
            start = newline + 1;
        }
        pending->erase(0, start);
    };
    m_charon = m_env.launcher.launch(
        charonBin, {},
        EnvironmentOverlay{{"STRONGSWAN_CONF", m_env.stagingRoot + "/strongswan.conf"}}, onOutput);
    m_network.recordChild("process charon", m_charon->pid(), "charon");
    log("charon launched (pid " + std::to_string(m_charon->pid()) + ")");
    m_env.clock.sleep(std::chrono::seconds(1));
}

void VPNEngine::endOwnLeftovers(const std::optional<std::string>& name) {
    assertOnQueue(__func__);
    const auto ended = m_env.processes.end(m_env.processes.leftoversInOwnGroup(name));
    for (const auto& process : ended) {
        log("ended pid " + std::to_string(process.pid) + " (" + process.executable +
            "), left in the helper's own service group");
    }
    // A charon among them did not stop through our teardown.
    if (!ended.empty()) {
        removeCharonLeftovers();
    }
}

void VPNEngine::relayCharonOutput(std::string_view line) {
    if (!line.empty()) {
        logToApp(std::string(line));
    }
}

void VPNEngine::waitForViciSocket() {
    assertOnQueue(__func__);
    const std::string socketPath = m_env.stagingRoot + "/" + std::string(kViciSocketFile);
    for (int attempt = 0; attempt < 50; ++attempt) {
        std::error_code ignored;
        if (std::filesystem::exists(socketPath, ignored)) {
            return;
        }
        m_env.clock.sleep(std::chrono::milliseconds(100));
    }
    throw EngineError("charon VICI socket did not appear at " + socketPath);
}

void VPNEngine::connectVici() {
    assertOnQueue(__func__);
    auto connection = m_env.vici.connect(viciUri());
    if (!connection) {
        log("warning: could not connect libvici for events; status will rely on initiate result");
        return;
    }
    // Events arrive on libvici's thread; only the queue may act on them.
    connection->onEvent = [this](const std::string& name) {
        m_queue.post([this, name] { handleViciEvent(name); });
    };
    connection->registerEvent("ike-updown");
    connection->registerEvent("child-updown");
    closeVici();
    m_vici = std::move(connection);
    log("subscribed to VICI ike-updown / child-updown events");
}

void VPNEngine::closeVici() {
    assertOnQueue(__func__);
    if (m_vici) {
        m_vici->close();
        m_vici.reset();
    }
}

void VPNEngine::stopCharon() {
    assertOnQueue(__func__);
    if (m_charon) {
        m_charon->terminate();
        const auto deadline = m_env.clock.now() + std::chrono::seconds(3);
        while (m_charon->isRunning() && m_env.clock.now() < deadline) {
            m_env.clock.sleep(std::chrono::milliseconds(50));
        }
        if (m_charon->isRunning()) {
            m_charon->kill();
        }
        m_charon->waitUntilExit();
        m_charon->stopReadingOutput();
        // Only a charon that ended through its own SIGTERM handling (or
        // exited by itself) cleaned up; killed or crashed, it did not.
        const auto status = m_charon->exitStatus();
        if (status != 0 && status != 128 + SIGTERM) {
            removeCharonLeftovers();
        }
    }
    m_charon.reset();
    m_network.forgetUndo("process charon");
}

void VPNEngine::removeCharonLeftovers() {
    assertOnQueue(__func__);
    // A charon that stops normally removes the routing rule it added for
    // userspace ESP; one that was killed or crashed leaves it behind, and
    // perhaps routes in its table where its TUN device outlived it.
    const auto removed = m_env.routes.removeCharonLeftovers(std::chrono::seconds(5));
    for (int i = 0; i < removed.ipv4Rules; ++i) {
        log("removed the routing rule of a charon that did not stop cleanly (IPv4)");
    }
    for (int i = 0; i < removed.ipv6Rules; ++i) {
        log("removed the routing rule of a charon that did not stop cleanly (IPv6)");
    }
    if (removed.routes > 0) {
        log("removed " + std::to_string(removed.routes) +
            " route(s) a charon that did not stop cleanly left in its table");
    }
}

void VPNEngine::handleViciEvent(const std::string& /*name*/) {
    assertOnQueue(__func__);
    std::vector<Tunnel*> inspected;
    for (const auto& tunnel : m_tunnels) {
        if (tunnel->state == VPNConnState::connected ||
            tunnel->state == VPNConnState::reconnecting || tunnel->state == VPNConnState::error) {
            inspected.push_back(tunnel.get());
        }
    }
    if (inspected.empty()) {
        return;
    }
    // A listing that cannot be read counts as no SA: charon is gone or
    // hung, and the checks that follow heal the tunnels.
    const auto states = m_env.vici.listSAs(viciUri(), std::nullopt, std::chrono::seconds(5));
    auto installed = [&states](const Tunnel& tunnel) {
        for (const IkeSaState& state : states ? *states : std::vector<IkeSaState>{}) {
            if (state.name == tunnel.strongswanName()) {
                return state.established && state.childInstalled;
            }
        }
        return false;
    };
    for (Tunnel* tunnel : inspected) {
        if (installed(*tunnel)) {
            if (tunnel->state != VPNConnState::connected) {
                tunnel->state = VPNConnState::connected;
                tunnel->message = "Connected";
                pushStatus();
            }
            continue;
        }
        if (!m_charon) {
            continue;
        }
        if (tunnel->state == VPNConnState::connected) {
            tunnel->state = VPNConnState::reconnecting;
            tunnel->message = "SA down — reconnecting…";
            pushStatus();
        }
        scheduleAutoReconnectCheck(*tunnel);
    }
}

} // namespace torvane

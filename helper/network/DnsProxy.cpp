#include "helper/network/DnsProxy.h"

#include "helper/network/DnsmasqConfig.h"
#include "helper/process/EndChild.h"
#include "helper/process/EngineError.h"
#include "helper/process/FileWriter.h"
#include "shared/process/CommandOutput.h"

#include <mutex>
#include <string>
#include <vector>

namespace torvane {

/// Carries dnsmasq's output from the reader thread to the log. Until the
/// proxy is known to be up, lines are held back: if it dies during the wait
/// they belong in the system log with the failure; once it is up they go to
/// the app's log only, as they arrive.
struct DnsProxy::OutputRelay {
    explicit OutputRelay(std::function<void(const std::string&)> appLogLine)
        : appLog(std::move(appLogLine)) {}

    void receive(std::string_view chunk) {
        std::lock_guard lock(mutex);
        pending.append(chunk);
        std::size_t start = 0;
        for (auto newline = pending.find('\n'); newline != std::string::npos;
             newline = pending.find('\n', start)) {
            accept(pending.substr(start, newline - start));
            start = newline + 1;
        }
        pending.erase(0, start);
    }

    /// The proxy stayed up: what was held goes to the app, and so does
    /// everything after.
    void release() {
        std::lock_guard lock(mutex);
        forwarding = true;
        for (const auto& line : held) {
            forward(line);
        }
        held.clear();
    }

    /// The proxy died: every line it wrote, including an unterminated last
    /// one. Call after output delivery has stopped.
    std::vector<std::string> takeAll() {
        std::lock_guard lock(mutex);
        accept(pending);
        pending.clear();
        return std::move(held);
    }

    std::mutex mutex;
    std::function<void(const std::string&)> appLog;
    std::string pending;
    std::vector<std::string> held;
    bool forwarding = false;

private:
    void accept(std::string line) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.empty()) {
            return;
        }
        if (forwarding) {
            forward(line);
        } else {
            held.push_back(std::move(line));
        }
    }

    void forward(const std::string& line) {
        if (appLog) {
            appLog("[dnsmasq] " + line);
        }
    }
};

DnsProxy::DnsProxy(NetworkContext& context, ProcessLauncher& launcher, Clock& clock)
    : m_context(context), m_launcher(launcher), m_clock(clock) {}

DnsProxy::~DnsProxy() {
    if (m_process) {
        m_process->stopReadingOutput();
    }
}

bool DnsProxy::isRunning() const {
    return m_process != nullptr;
}

std::optional<int> DnsProxy::exitedStatus() {
    if (!m_process || m_process->isRunning()) {
        return std::nullopt;
    }
    return m_process->exitStatus().value_or(-1);
}

std::optional<Uuid> DnsProxy::ownerID() const {
    return m_ownerID;
}

void DnsProxy::setOwnerID(std::optional<Uuid> owner) {
    m_ownerID = owner;
}

std::string DnsProxy::configPath() const {
    return m_context.stagingRoot + "/dnsmasq.conf";
}

void DnsProxy::startDnsmasq(const VPNProfile& profile,
                            const std::vector<std::string>& upstreamServers) {
    const std::string program = m_context.locator.bundledDnsmasq();
    m_context.log("dnsmasq: binary = " + program);
    if (!isExecutableFile(program)) {
        throw EngineError("bundled dnsmasq not found at " + program + " — rebuild the app");
    }

    const std::string upstreamResolvFile = m_context.stagingRoot + "/upstream.resolv.conf";
    const std::string config = dnsmasqConfigText(profile, upstreamServers);
    m_context.log("dnsmasq: config ---------\n" + config + "-------------------------");
    if (!isValidUtf8(config)) {
        throw EngineError("failed to encode dnsmasq config");
    }
    if (auto refusal = checkDnsmasqConfig(config, upstreamResolvFile).refusal) {
        throw EngineError(*refusal);
    }
    try {
        writeFile(config, configPath(), 0600);
    } catch (const EngineError&) {
        // dnsmasq then fails on the missing file and says so in its output.
    }

    // Only our file is read (naming one keeps /etc/dnsmasq.conf, and the
    // directories it lists, out). Once its port is bound dnsmasq runs as
    // nobody:nogroup (both exist on every Debian system), so a flaw in its
    // DNS code is not a root compromise. "--no-daemon" never changes the user,
    // so it stays in the foreground with "--keep-in-foreground" instead, and
    // "--pid-file=" keeps that mode from writing /run/dnsmasq.pid. The file
    // would override all of these; the configuration check keeps it from.
    const std::vector<std::string> args = {"--keep-in-foreground", "--conf-file=" + configPath(),
                                           "--log-facility=-",     "--user=nobody",
                                           "--group=nogroup",      "--pid-file="};
    std::string commandLine = program;
    for (const auto& arg : args) {
        commandLine += " " + arg;
    }
    m_context.log("dnsmasq: launching " + commandLine);

    auto relay = std::make_shared<OutputRelay>(m_context.appLog);
    auto process = m_launcher.launch(program, args, std::nullopt,
                                     [relay](std::string_view chunk) { relay->receive(chunk); });
    m_process = std::move(process);
    m_context.recordChild("process dnsmasq", m_process->pid(), "dnsmasq");
    const std::string pid = std::to_string(m_process->pid());
    m_context.log("dnsmasq: launched (pid " + pid + "), waiting 0.5 s…");
    m_clock.sleep(std::chrono::milliseconds(500));

    if (!m_process->isRunning()) {
        m_process->stopReadingOutput();
        const auto status = m_process->exitStatus();
        const auto lines = relay->takeAll();
        m_process.reset();
        for (const auto& line : lines) {
            m_context.log("[dnsmasq] " + line);
        }
        throw EngineError("dnsmasq exited (status " + std::to_string(status.value_or(-1)) +
                          ") — see log above for details");
    }
    relay->release();
    m_context.log("dnsmasq: ready (pid " + pid + ")");
}

void DnsProxy::stopDnsmasq() {
    if (m_process) {
        m_process->stopReadingOutput();
    }
    m_ownerID.reset();
    if (!m_process) {
        return;
    }
    if (m_process->isRunning()) {
        endChild(*m_process, m_clock, std::chrono::seconds(3));
    }
    m_process.reset();
    m_context.forgetUndo("process dnsmasq");
    m_context.log("dnsmasq stopped");
}

void DnsProxy::forgetDnsmasq() {
    m_ownerID.reset();
    if (!m_process) {
        return;
    }
    m_process->stopReadingOutput();
    // Our own child, signalled by pid only while it has not been reaped, so
    // the signal cannot reach a process that took the pid since.
    m_process->kill();
    m_process->waitUntilExit();
    m_process.reset();
    m_context.forgetUndo("process dnsmasq");
}

} // namespace torvane

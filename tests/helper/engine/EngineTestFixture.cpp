#include "tests/helper/engine/EngineTestFixture.h"

#include <chrono>
#include <fstream>
#include <ostream>
#include <sstream>
#include <sys/stat.h>

namespace torvane::testing {
namespace {

constexpr auto kReplyTimeout = std::chrono::seconds(30);

void makeExecutable(const std::string& path) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path) << "#!/bin/sh\n";
    ::chmod(path.c_str(), 0755);
}

template <class T> T await(std::future<T>& future) {
    if (future.wait_for(kReplyTimeout) != std::future_status::ready) {
        ADD_FAILURE() << "the engine did not reply";
        return T{};
    }
    return future.get();
}

} // namespace

bool FakeViciEvents::registerEvent(const std::string&) {
    return true;
}

void FakeViciEvents::close() {
    if (m_connector.last == this) {
        m_connector.last = nullptr;
    }
}

std::unique_ptr<ViciEvents> FakeViciConnector::connect(const std::string&) {
    if (failConnect) {
        return nullptr;
    }
    auto events = std::make_unique<FakeViciEvents>(*this);
    last = events.get();
    return events;
}

CommandResult FakeViciConnector::initiate(const std::string&, const std::string& child,
                                          std::chrono::duration<double> timeout) {
    return m_runner.runCommand("vici", {"initiate", child}, std::nullopt, timeout);
}

Expected<std::vector<IkeSaState>, std::string>
FakeViciConnector::listSAs(const std::string&, const std::optional<std::string>& ike,
                           std::chrono::duration<double> timeout) {
    const CommandResult result = m_runner.runCommand(
        "vici",
        ike ? std::vector<std::string>{"list-sas", *ike} : std::vector<std::string>{"list-all-sas"},
        std::nullopt, timeout);
    if (result.status != 0) {
        return Unexpected{result.output};
    }
    // "NAME: #1, ESTABLISHED, …" opens an IKE SA; indented below it,
    // "local '…' @ HOST[PORT] [VIP]", "remote '…' @ HOST[PORT]" and child
    // lines "NAME: #1, reqid 1, INSTALLED, …".
    std::vector<IkeSaState> states;
    std::istringstream lines(result.output);
    for (std::string line; std::getline(lines, line);) {
        const bool indented = !line.empty() && (line[0] == ' ' || line[0] == '\t');
        const std::string text = line.substr(std::min(line.find_first_not_of(" \t"), line.size()));
        const auto at = text.find(" @ ");
        if (!indented && text.find(": #") != std::string::npos) {
            IkeSaState state;
            state.name = text.substr(0, text.find(':'));
            state.established = text.find("ESTABLISHED") != std::string::npos;
            states.push_back(state);
        } else if (states.empty()) {
            continue;
        } else if (text.find("INSTALLED") != std::string::npos) {
            states.back().childInstalled = true;
        } else if (text.starts_with("local") && text.find("] [") != std::string::npos) {
            const auto open = text.rfind('[');
            states.back().vip = text.substr(open + 1, text.rfind(']') - open - 1);
        } else if (text.starts_with("remote") && at != std::string::npos) {
            states.back().remoteIP = text.substr(at + 3, text.find('[', at) - at - 3);
        }
    }
    return states;
}

void PrintTo(const Reply& reply, std::ostream* out) {
    *out << "(" << reply.code << ", \"" << reply.message << "\")";
}

EngineTest::EngineTest() {
    char pattern[] = "/tmp/torvane-engine-test.XXXXXX";
    m_base = ::mkdtemp(pattern);
    m_staging = m_base + "/run";
    makeExecutable(charon());
    makeExecutable(swanctl());
    // A charon creates its VICI socket soon after it starts.
    m_launcher.setHook([this](FakeChildProcess&) {
        std::filesystem::create_directories(m_staging);
        std::ofstream(m_staging + "/charon.vici");
    });

    m_runner.setHook([this](const RecordedCommand& call) -> std::optional<CommandResult> {
        std::lock_guard lock(m_logMutex);
        m_timeline.push_back(call.commandLine());
        return std::nullopt;
    });
    m_routes.setObserver([this](const std::string& line) {
        std::lock_guard lock(m_logMutex);
        m_timeline.push_back("routes: " + line);
    });
    // The firewall and IPv6 fakes name their calls themselves
    // ("firewall apply", "ipv6 eth0 Off").
    const auto record = [this](const std::string& line) {
        std::lock_guard lock(m_logMutex);
        m_timeline.push_back(line);
    };
    m_firewall.setObserver(record);
    m_ipv6.setObserver(record);

    m_engine = makeEngine();
}

std::unique_ptr<VPNEngine> EngineTest::makeEngine() {
    EngineEnvironment environment{
        .runner = m_runner,
        .routes = m_routes,
        .firewall = m_firewall,
        .ipv6 = m_ipv6,
        .launcher = m_launcher,
        .vici = m_vici,
        .clock = m_clock,
        .processes = m_processes,
        .locator = BundleLocator(m_base + "/torvane-helper"),
        .stagingRoot = m_staging,
        .systemLog = {},
        .makeDynamicStore = [this](DynamicStore::ChangeHandler onChange,
                                   DynamicStore::PostFunction post)
            -> Expected<std::unique_ptr<DynamicStore>, std::string> {
            auto store = std::make_unique<FakeDynamicStore>();
            // Notifications reach the engine on its queue, as real ones do.
            store->setChangeHandler([onChange = std::move(onChange),
                                     post = std::move(post)](const std::vector<std::string>& keys) {
                post([onChange, keys] { onChange(keys); });
            });
            m_store = store.get();
            return std::unique_ptr<DynamicStore>(std::move(store));
        },
        .pingPath = "/usr/bin/ping",
        .runInBackground =
            [this](std::function<void()> job) {
                {
                    std::lock_guard lock(m_pingMutex);
                    if (holdPings) {
                        m_heldPings.push_back(std::move(job));
                        return;
                    }
                }
                job();
            },
        .probeDns = {},
        .openPowerEvents = [this](PowerMessageHandler handler)
            -> Expected<std::unique_ptr<PowerEvents>, std::string> {
            m_power = std::move(handler);
            return std::make_unique<PowerEvents>();
        },
        .openLinkWatch = {},
        .journalPath = m_base + "/journal.json",
        .leakCheckLimit = std::chrono::milliseconds(200)};
    auto engine = std::make_unique<VPNEngine>(std::move(environment));
    engine->setOnLog([this](const std::string& line) {
        std::lock_guard lock(m_logMutex);
        m_log.push_back(line);
    });
    return engine;
}

void EngineTest::advance(double seconds) {
    m_clock.advance(Clock::Duration(seconds));
    // A firing posts a tick; the tick's ping posts its result: two rounds.
    drainQueue();
    drainQueue();
}

void EngineTest::runHeldPings() {
    std::vector<std::function<void()>> jobs;
    {
        std::lock_guard lock(m_pingMutex);
        jobs.swap(m_heldPings);
    }
    for (auto& job : jobs) {
        job();
    }
    drainQueue();
}

EngineTest::~EngineTest() {
    m_engine.reset();
    std::filesystem::remove_all(m_base);
}

VPNProfile EngineTest::profile(const std::string& name, std::int64_t priority) const {
    VPNProfile p;
    p.name = name;
    p.authMethod = VPNAuthMethod::psk;
    p.remoteAddr = "10.10.0.1";
    p.remoteTS = "10.200.0.0/24";
    p.ikeVersion = 2;
    p.priority = priority;
    return p;
}

void EngineTest::acceptTunnel(const VPNProfile& p, const std::string& vip) {
    const std::string name = "ov-" + p.id.lowerText();
    m_runner.setResult(
        "vici", {"initiate", name},
        {0, "[IKE] installing new virtual IP " + vip + "\ninitiate completed successfully"});
    m_runner.setResult("vici", {"list-sas", name},
                       {0, name +
                               ": #1, ESTABLISHED, IKEv2, 1_i* 2_r\n  local  'client1' @ "
                               "10.10.0.2[4500] [" +
                               vip + "]\n  remote 'gw' @ 10.10.0.1[4500]\n  " + name +
                               ": #1, reqid 1, INSTALLED, TUNNEL-in-UDP, ESP:AES_CBC-256"});
    m_routes.setLookup(vip, {vip, std::nullopt, "ipsec0"});
}

Reply EngineTest::command(const std::function<void(CommandReply)>& send) {
    std::promise<Reply> promise;
    auto future = promise.get_future();
    send([&promise](std::int64_t code, const std::string& message) {
        promise.set_value({code, message});
    });
    return await(future);
}

Reply EngineTest::start(const VPNProfile& p) {
    return command([&](CommandReply reply) { m_engine->start(p, secrets(), std::move(reply)); });
}

Reply EngineTest::stop(const std::string& profileID) {
    return command([&](CommandReply reply) { m_engine->stop(profileID, std::move(reply)); });
}

Reply EngineTest::stopAll() {
    return command([&](CommandReply reply) { m_engine->stopAll(std::move(reply)); });
}

Reply EngineTest::forceKillAll() {
    return command([&](CommandReply reply) { m_engine->forceKillAll(std::move(reply)); });
}

void EngineTest::setPriorities(std::vector<std::string> ids) {
    std::promise<bool> promise;
    auto future = promise.get_future();
    m_engine->setPriorities(std::move(ids), [&promise] { promise.set_value(true); });
    await(future);
}

void EngineTest::drainQueue() {
    setPriorities({});
}

std::string EngineTest::swanctlLine(const std::string& args) const {
    return swanctl() + " " + args + " --uri " + uri();
}

std::vector<std::string> EngineTest::logLines() const {
    std::lock_guard lock(m_logMutex);
    return m_log;
}

std::vector<std::string> EngineTest::timeline() const {
    std::lock_guard lock(m_logMutex);
    return m_timeline;
}

void EngineTest::clearCalls() {
    m_runner.clearCalls();
    m_routes.clearCalls();
    m_firewall.clearCalls();
    m_ipv6.clearChanges();
    std::lock_guard lock(m_logMutex);
    m_timeline.clear();
}

} // namespace torvane::testing

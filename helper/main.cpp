// torvane-helper: the root daemon. Wires the real command runner, netlink
// routes, firewall, IPv6 switches, process launcher, libvici, clock and
// process finder into the engine and serves the command socket until SIGTERM.
#include "helper/engine/VPNEngine.h"
#include "helper/engine/ViciConnection.h"
#include "helper/platform/linux/DnsQueryProbe.h"
#include "helper/platform/linux/LinuxOwnProcesses.h"
#include "helper/platform/linux/LogindPowerEvents.h"
#include "helper/platform/linux/NetlinkLinkWatch.h"
#include "helper/platform/linux/NetlinkRoutes.h"
#include "helper/platform/linux/NftablesFirewall.h"
#include "helper/platform/linux/ResolvConfStore.h"
#include "helper/platform/linux/ResolvedStore.h"
#include "helper/platform/linux/SysctlIpv6Control.h"
#include "helper/platform/linux/SystemLog.h"
#include "helper/process/BundleLocator.h"
#include "helper/process/PosixProcessLauncher.h"
#include "helper/service/HelperDaemon.h"
#include "helper/service/HelperOptions.h"
#include "shared/process/PosixCommandRunner.h"

#include <csignal>
#include <iostream>

int main(int argc, char** argv) {
    using namespace torvane;

    // Before anything else, and before any thread exists: a SIGTERM from
    // here on is held until the main loop tears down, never lost.
    HelperDaemon::holdTerminationSignal();

    auto commandLine = parseHelperCommandLine(argc, argv);
    if (!commandLine) {
        std::cerr << "torvane-helper: " << commandLine.error() << "\n" << helperUsage();
        return 2;
    }
    if (commandLine->showHelp) {
        std::cout << helperUsage();
        return 0;
    }

    // A client or charon that goes away mid-write must cost that write, not
    // the daemon: every write checks its result instead.
    std::signal(SIGPIPE, SIG_IGN);

    PosixCommandRunner runner;
    NetlinkRoutes routes;
    NftablesFirewall firewall;
    SysctlIpv6Control ipv6;
    PosixProcessLauncher launcher;
    CharonViciConnector vici;
    SystemClock clock;
    LinuxOwnProcesses processes;
    EngineEnvironment environment{
        .runner = runner,
        .routes = routes,
        .firewall = firewall,
        .ipv6 = ipv6,
        .launcher = launcher,
        .vici = vici,
        .clock = clock,
        .processes = processes,
        .locator = BundleLocator::forThisProcess(argv[0]),
        .systemLog = systemLog,
        .makeDynamicStore = [](DynamicStore::ChangeHandler onChange,
                               DynamicStore::PostFunction post)
            -> Expected<std::unique_ptr<DynamicStore>, std::string> {
            // With resolved in charge, per-link DNS through it; the file
            // backend otherwise, and when resolved cannot be reached.
            if (useResolvedStore("/etc/resolv.conf", resolvedAnswers)) {
                auto store = ResolvedStore::create(onChange, post, {});
                if (store) {
                    systemLog("DNS: managing per-link DNS through systemd-resolved");
                    return store;
                }
                systemLog("DNS: systemd-resolved unusable (" + store.error() + ")");
            }
            return ResolvConfStore::create(std::move(onChange), std::move(post),
                                           {.resolvConfPath = "/etc/resolv.conf",
                                            .log = [](const std::string& line) { systemLog(line); },
                                            .primaryInterface = {}});
        },
        .runInBackground = {},
        .probeDns =
            [](const std::string& server, std::chrono::milliseconds limit) {
                return probeDnsServer(server, "torvane-leak-check.example.com", limit);
            },
        .openPowerEvents = openLogindPowerEvents,
        .openLinkWatch = openNetlinkLinkWatch,
        .journalPath = "/run/torvane/journal.json"};

    VPNEngine engine(std::move(environment));
    engine.registerPowerNotifications();
    int status = 0;
    {
        HelperDaemon daemon(engine, commandLine->options);
        status = daemon.run();
        // The engine outlives the daemon; it must not call into it any more.
        engine.setOnStatus(nullptr);
        engine.setOnLog(nullptr);
    }
    return status;
}

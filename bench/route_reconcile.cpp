// How long one reconcile of a tunnel with 1,000 networks takes through the
// netlink route backend (one batch), against `ip -batch` adding the same
// networks (one process) and against 1,000 runs of `ip route add`, all in a
// network namespace of the benchmark's own (a TUN device with a virtual IP;
// nothing else). Needs root.
//
//   torvane-bench-routes
#include "helper/network/RouteTable.h"
#include "helper/platform/linux/NetlinkRoutes.h"
#include "helper/platform/linux/NftablesFirewall.h"
#include "helper/platform/linux/SysctlIpv6Control.h"
#include "helper/process/BundleLocator.h"
#include "shared/process/PosixCommandRunner.h"

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <sched.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using namespace torvane;
using SteadyClock = std::chrono::steady_clock;

constexpr int kRoutes = 1000;
constexpr std::chrono::seconds kTimeout{30};
const std::string kIp = "/usr/sbin/ip";

std::string network(int index) {
    return "10." + std::to_string(100 + index / 256) + "." + std::to_string(index % 256) + ".0/24";
}

double millisecondsSince(SteadyClock::time_point start) {
    return std::chrono::duration<double, std::milli>(SteadyClock::now() - start).count();
}

class Namespace {
public:
    Namespace(CommandRunner& runner, std::string name) : m_runner(runner), m_name(std::move(name)) {
        m_ok = run({"netns", "add", m_name}) && run({"-n", m_name, "link", "set", "lo", "up"}) &&
               run({"-n", m_name, "tuntap", "add", "dev", "tvr-tun0", "mode", "tun"}) &&
               run({"-n", m_name, "link", "set", "tvr-tun0", "up"}) &&
               run({"-n", m_name, "addr", "add", "10.99.0.1/32", "dev", "tvr-tun0"});
    }
    ~Namespace() { m_runner.runCommand(kIp, {"netns", "del", m_name}, std::nullopt, kTimeout); }
    Namespace(const Namespace&) = delete;
    Namespace& operator=(const Namespace&) = delete;

    bool ok() const { return m_ok; }

    /// Runs `work` with this thread inside the namespace; false when it
    /// could not be entered (then `work` does not run).
    bool enter(const std::function<void()>& work) {
        const int home = open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
        const int target = open(("/run/netns/" + m_name).c_str(), O_RDONLY | O_CLOEXEC);
        const bool entered = home >= 0 && target >= 0 && setns(target, CLONE_NEWNET) == 0;
        if (target >= 0) {
            close(target);
        }
        if (entered) {
            work();
            if (setns(home, CLONE_NEWNET) != 0) {
                std::abort(); // never go on in the wrong namespace
            }
        }
        if (home >= 0) {
            close(home);
        }
        return entered;
    }

private:
    bool run(const std::vector<std::string>& args) {
        const auto result = m_runner.runCommand(kIp, args, std::nullopt, kTimeout);
        if (result.status != 0) {
            std::fprintf(stderr, "ip failed: %s\n", result.output.c_str());
        }
        return result.status == 0;
    }

    CommandRunner& m_runner;
    std::string m_name;
    bool m_ok = false;
};

} // namespace

int main() {
    if (geteuid() != 0) {
        std::fprintf(stderr, "needs root to create a network namespace\n");
        return 77;
    }

    PosixCommandRunner runner;
    NetlinkRoutes routes;
    // Neither is used by the route reconcile.
    NftablesFirewall firewall;
    SysctlIpv6Control ipv6;
    const BundleLocator locator("/nonexistent/torvane-helper");
    int failures = 0;
    NetworkContext context{runner,
                           routes,
                           firewall,
                           ipv6,
                           locator,
                           "/tmp/tvr-bench-unused",
                           [&failures](const std::string& line) {
                               if (!line.ends_with(": ok")) {
                                   ++failures;
                               }
                           },
                           [](const std::string&) {
                           }};
    RouteTable table(context);

    VPNProfile profile;
    profile.name = "bench";
    for (int i = 0; i < kRoutes; ++i) {
        profile.routes.push_back(network(i));
    }
    Tunnel tunnel(profile);
    tunnel.vip = "10.99.0.1";
    tunnel.tun = "tvr-tun0";

    const std::string batchFile = "/tmp/tvr-bench-routes-" + std::to_string(getpid()) + ".batch";
    {
        std::ofstream batch(batchFile);
        for (int i = 0; i < kRoutes; ++i) {
            batch << "route add " << network(i) << " dev tvr-tun0 src 10.99.0.1\n";
        }
    }

    Namespace ns(runner, "tvr-bench" + std::to_string(getpid()));
    if (!ns.ok()) {
        std::remove(batchFile.c_str());
        return 1;
    }
    double reconcileMs = 0;
    double batchMs = 0;
    double loopMs = 0;
    int batchFailures = 0;
    int loopFailures = 0;
    const bool entered = ns.enter([&] {
        const auto start = SteadyClock::now();
        table.reconcile({&tunnel}, {&tunnel});
        reconcileMs = millisecondsSince(start);
        table.removeAllRoutes();

        const auto batchStart = SteadyClock::now();
        batchFailures =
            runner.runCommand(kIp, {"-batch", batchFile}, std::nullopt, kTimeout).status != 0;
        batchMs = millisecondsSince(batchStart);
        runner.runCommand(kIp, {"route", "flush", "dev", "tvr-tun0"}, std::nullopt, kTimeout);

        const auto loopStart = SteadyClock::now();
        for (int i = 0; i < kRoutes; ++i) {
            const auto result = runner.runCommand(
                kIp, {"route", "add", network(i), "dev", "tvr-tun0", "src", "10.99.0.1"},
                std::nullopt, kTimeout);
            loopFailures += result.status != 0;
        }
        loopMs = millisecondsSince(loopStart);
    });
    std::remove(batchFile.c_str());
    if (!entered) {
        std::fprintf(stderr, "could not enter the namespace\n");
        return 1;
    }
    std::printf("reconcile of one tunnel with %d routes (netlink batch): %.1f ms (%.3f ms/route, "
                "%d failed)\n",
                kRoutes, reconcileMs, reconcileMs / kRoutes, failures);
    std::printf("ip -batch of the same %d routes (one process):    %.1f ms (%s)\n", kRoutes,
                batchMs, batchFailures == 0 ? "ok" : "failed");
    std::printf("%d runs of ip route add:                          %.0f ms (%.2f ms/route, "
                "%d failed)\n",
                kRoutes, loopMs, loopMs / kRoutes, loopFailures);
    std::printf("ratio reconcile / ip -batch: %.2f\n", batchMs > 0 ? reconcileMs / batchMs : 0.0);
    std::printf("ratio reconcile / ip route add loop: %.3f\n",
                loopMs > 0 ? reconcileMs / loopMs : 0.0);
    return failures == 0 && batchFailures == 0 && loopFailures == 0 ? 0 : 1;
}

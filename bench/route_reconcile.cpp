// How long one reconcile of a tunnel with 1,000 networks takes through the
// route tool, against 1,000 runs of `ip route add` for the same networks,
// both in one network namespace of the benchmark's own (a TUN device with a
// virtual IP; nothing else). Needs root.
//
//   torvane-bench-routes [HELPER_DIR]     (default: this build's helper/)
#include "BundleLocator.h"
#include "NftablesFirewall.h"
#include "PosixCommandRunner.h"
#include "RouteTable.h"
#include "SysctlIpv6Control.h"

#include <chrono>
#include <cstdio>
#include <fcntl.h>
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

int main(int argc, char** argv) {
    const std::string helperDir = argc > 1 ? argv[1] : TORVANE_HELPER_DIR;
    if (geteuid() != 0) {
        std::fprintf(stderr, "needs root to create a network namespace\n");
        return 77;
    }
    const BundleLocator locator(helperDir + "/torvane-helper");
    if (!isExecutableFile(locator.tool("route"))) {
        std::fprintf(stderr, "no route tool at %s\n", locator.tool("route").c_str());
        return 1;
    }

    PosixCommandRunner runner;
    // Neither is used by the route reconcile.
    NftablesFirewall firewall;
    SysctlIpv6Control ipv6;
    int failures = 0;
    NetworkContext context{runner,
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

    Namespace ns(runner, "tvr-bench" + std::to_string(getpid()));
    if (!ns.ok()) {
        return 1;
    }
    double reconcileMs = 0;
    double ipMs = 0;
    int ipFailures = 0;
    const bool entered = ns.enter([&] {
        const auto start = SteadyClock::now();
        table.reconcile({&tunnel}, {&tunnel});
        reconcileMs = millisecondsSince(start);
        table.removeAllRoutes();

        const auto ipStart = SteadyClock::now();
        for (int i = 0; i < kRoutes; ++i) {
            const auto result = runner.runCommand(
                kIp, {"route", "add", network(i), "dev", "tvr-tun0", "src", "10.99.0.1"},
                std::nullopt, kTimeout);
            ipFailures += result.status != 0;
        }
        ipMs = millisecondsSince(ipStart);
    });
    if (!entered) {
        std::fprintf(stderr, "could not enter the namespace\n");
        return 1;
    }
    std::printf("reconcile of one tunnel with %d routes (route tool): %.0f ms (%.2f ms/route, "
                "%d failed)\n",
                kRoutes, reconcileMs, reconcileMs / kRoutes, failures);
    std::printf("%d runs of ip route add:                            %.0f ms (%.2f ms/route, "
                "%d failed)\n",
                kRoutes, ipMs, ipMs / kRoutes, ipFailures);
    std::printf("ratio reconcile / ip route add: %.2f\n", ipMs > 0 ? reconcileMs / ipMs : 0.0);
    return failures == 0 && ipFailures == 0 ? 0 : 1;
}

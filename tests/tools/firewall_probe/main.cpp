// torvane-firewall-probe: applies a kill-switch policy through the daemon's
// own NftablesFirewall, or releases it, in the caller's network namespace,
// so that a namespace test can send packets past it.
//   torvane-firewall-probe apply [-i INTERFACE]... [-g GATEWAY]...
//   torvane-firewall-probe release
// Prints "handle N" after an apply; an error goes to stderr with status 1.
#include "helper/platform/linux/NftablesFirewall.h"

#include <iostream>
#include <string>

int main(int argc, char** argv) {
    using namespace torvane;
    const std::string action = argc > 1 ? argv[1] : "";
    NftablesFirewall firewall;
    if (action == "release" && argc == 2) {
        if (const auto error = firewall.release()) {
            std::cerr << error->message << "\n";
            return 1;
        }
        return 0;
    }
    if (action != "apply" || argc % 2 != 0) {
        std::cerr << "usage: torvane-firewall-probe apply [-i INTERFACE]... [-g GATEWAY]...\n"
                     "       torvane-firewall-probe release\n";
        return 2;
    }
    FirewallPolicy policy;
    for (int i = 2; i + 1 < argc; i += 2) {
        const std::string flag = argv[i];
        if (flag == "-i") {
            policy.tunnelInterfaces.emplace_back(argv[i + 1]);
        } else if (flag == "-g") {
            policy.gateways.emplace_back(argv[i + 1]);
        } else {
            std::cerr << "unknown option " << flag << "\n";
            return 2;
        }
    }
    const auto applied = firewall.apply(policy);
    if (!applied) {
        std::cerr << applied.error().message << " (status " << applied.error().status << ")\n";
        return 1;
    }
    if (applied->handle) {
        std::cout << "handle " << *applied->handle << "\n";
    }
    return 0;
}

#include "helper/network/ResolverFinding.h"

namespace torvane {
namespace {

std::string joined(const std::vector<std::string>& items) {
    std::string text;
    for (const auto& item : items) {
        text += (text.empty() ? "" : ", ") + item;
    }
    return text;
}

} // namespace

std::optional<LeakFinding> resolverFinding(const ResolverInUse& resolver,
                                           const std::vector<std::string>& expected) {
    if (!resolver.error.empty()) {
        return LeakFinding{"dns", std::string(kLeakWarning),
                           resolver.place + " cannot be read: " + resolver.error,
                           "Run the check again."};
    }
    const std::string hint =
        "Something changed " + resolver.place + "; reconnect the tunnel to apply its DNS again.";
    if (!expected.empty() && resolver.servers != expected) {
        return LeakFinding{
            "dns", std::string(kLeakFail),
            "the system resolver uses " +
                (resolver.servers.empty() ? std::string("no servers") : joined(resolver.servers)) +
                " instead of the tunnel's " + joined(expected) + " (" + resolver.place + ")",
            hint};
    }
    if (!expected.empty() && !resolver.missingDomains.empty()) {
        return LeakFinding{"dns", std::string(kLeakFail),
                           resolver.place + " lacks the tunnel's domains " +
                               joined(resolver.missingDomains) +
                               ", so some names go to other servers",
                           hint};
    }
    if (resolver.servers.empty()) {
        return LeakFinding{"dns", std::string(kLeakWarning), "the system resolver lists no servers",
                           "Check " + resolver.place + "."};
    }
    return std::nullopt;
}

} // namespace torvane

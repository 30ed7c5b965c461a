#include "tests/fakes/FakeIpv6Control.h"

namespace torvane {

void FakeIpv6Control::addService(std::string name, std::optional<Ipv6Mode> mode, bool enabled) {
    if (mode) {
        m_modes[name] = *mode;
    }
    m_services.push_back({std::move(name), enabled});
}

void FakeIpv6Control::failSetMode(const std::string& service, Ipv6Error error) {
    m_failures[service] = std::move(error);
}

std::optional<Ipv6Mode> FakeIpv6Control::mode(const std::string& service) {
    const auto found = m_modes.find(service);
    if (found == m_modes.end()) {
        return std::nullopt;
    }
    return found->second;
}

std::optional<Ipv6Error> FakeIpv6Control::setMode(const std::string& service, Ipv6Mode mode) {
    m_changes.push_back({service, mode});
    if (m_observer) {
        m_observer("ipv6 " + service + " " + std::string(ipv6ModeName(mode)));
    }
    if (const auto failure = m_failures.find(service); failure != m_failures.end()) {
        return failure->second;
    }
    if (m_modes.count(service) == 0) {
        return Ipv6Error{2, service + ": IPv6 is not available on this interface"};
    }
    m_modes[service] = mode;
    return std::nullopt;
}

} // namespace torvane

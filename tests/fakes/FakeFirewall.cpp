#include "tests/fakes/FakeFirewall.h"

namespace torvane {

Expected<FirewallApplied, FirewallError> FakeFirewall::apply(const FirewallPolicy& policy) {
    m_calls.push_back(Call::applied(policy));
    if (m_observer) {
        m_observer("firewall apply");
    }
    if (m_applyError) {
        return Unexpected{*m_applyError};
    }
    m_inForce = policy;
    if (m_withheldOutput) {
        return FirewallApplied{std::nullopt, *m_withheldOutput};
    }
    return FirewallApplied{m_nextHandle++, {}};
}

std::optional<FirewallError> FakeFirewall::release() {
    m_calls.push_back(Call::released());
    if (m_observer) {
        m_observer("firewall release");
    }
    m_inForce.reset();
    return std::nullopt;
}

} // namespace torvane

#pragma once

#include "helper/network/Firewall.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace torvane {

/// A Firewall for unit tests: records each call as a typed value, keeps the
/// policy "in force" and fails when told to.
class FakeFirewall final : public Firewall {
public:
    struct Call {
        enum class Kind { apply, release } kind = Kind::apply;
        FirewallPolicy policy{};

        static Call applied(FirewallPolicy policy) { return {Kind::apply, std::move(policy)}; }
        static Call released() { return {Kind::release, {}}; }
        friend bool operator==(const Call&, const Call&) = default;
    };

    Expected<FirewallApplied, FirewallError> apply(const FirewallPolicy& policy) override;
    std::optional<FirewallError> release() override;
    std::string tableName() const override { return "inet torvane_killswitch"; }

    /// Every call so far, in order.
    const std::vector<Call>& calls() const { return m_calls; }
    void clearCalls() { m_calls.clear(); }
    /// The policy of the table in force; none without a table.
    const std::optional<FirewallPolicy>& policyInForce() const { return m_inForce; }
    /// Makes every following apply fail with `error`, or succeed with nothing.
    void failApplies(std::optional<FirewallError> error) { m_applyError = std::move(error); }
    /// Makes applies return no handle (with this output) from now on.
    void withholdHandles(std::string output) { m_withheldOutput = std::move(output); }
    /// The handle the next successful apply returns; each one counts up.
    void setNextHandle(std::uint64_t handle) { m_nextHandle = handle; }
    /// Hears "firewall apply" and "firewall release" as they happen, for
    /// tests that order them among other effects.
    void setObserver(std::function<void(const std::string&)> observer) {
        m_observer = std::move(observer);
    }

private:
    std::vector<Call> m_calls;
    std::optional<FirewallPolicy> m_inForce;
    std::optional<FirewallError> m_applyError;
    std::optional<std::string> m_withheldOutput;
    std::uint64_t m_nextHandle = 1;
    std::function<void(const std::string&)> m_observer;
};

} // namespace torvane

#pragma once

#include "helper/network/Ipv6Control.h"

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace torvane {

/// An Ipv6Control for unit tests: services and their modes as the test sets
/// them; every mode change is recorded as a typed value and applied.
class FakeIpv6Control final : public Ipv6Control {
public:
    struct SetMode {
        std::string service;
        Ipv6Mode mode = Ipv6Mode::off;
        friend bool operator==(const SetMode&, const SetMode&) = default;
    };

    /// Adds a service (after those added before); no mode: no IPv6 there.
    void addService(std::string name, std::optional<Ipv6Mode> mode, bool enabled = true);
    /// Makes setting a mode on `service` fail with `error`.
    void failSetMode(const std::string& service, Ipv6Error error);

    std::vector<NetworkService> services() override { return m_services; }
    std::optional<Ipv6Mode> mode(const std::string& service) override;
    std::optional<Ipv6Error> setMode(const std::string& service, Ipv6Mode mode) override;

    /// Every mode change asked for, in order, failed ones included.
    const std::vector<SetMode>& changes() const { return m_changes; }
    void clearChanges() { m_changes.clear(); }
    /// Hears "ipv6 SERVICE MODE" for each change as it happens.
    void setObserver(std::function<void(const std::string&)> observer) {
        m_observer = std::move(observer);
    }

private:
    std::vector<NetworkService> m_services;
    std::map<std::string, Ipv6Mode> m_modes;
    std::map<std::string, Ipv6Error> m_failures;
    std::vector<SetMode> m_changes;
    std::function<void(const std::string&)> m_observer;
};

} // namespace torvane

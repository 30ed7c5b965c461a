#pragma once

#include "helper/network/Ipv6Control.h"

#include <string>
#include <vector>

namespace torvane {

/// The IPv6 switches under /proc/sys/net/ipv6/conf/IF/ of the calling
/// thread's network namespace: disable_ipv6 set is Off; autoconf set with
/// accept_ra above 0 is Automatic; anything else with IPv6 on is LinkLocal.
class SysctlIpv6Control final : public Ipv6Control {
public:
    /// `confRoot` holds one folder of switches per interface (tests give
    /// one of their own); the interfaces are always the kernel's.
    explicit SysctlIpv6Control(std::string confRoot = "/proc/sys/net/ipv6/conf");

    std::vector<NetworkService> services() override;
    std::optional<Ipv6Mode> mode(const std::string& service) override;
    std::optional<Ipv6Error> setMode(const std::string& service, Ipv6Mode mode) override;
    /// From /proc/net/if_inet6 and /proc/net/ipv6_route.
    std::optional<Ipv6Exposure> exposure() override;

private:
    std::string switchPath(const std::string& service, const std::string& name) const;
    std::optional<int> readSwitch(const std::string& service, const std::string& name) const;
    std::optional<Ipv6Error> writeSwitch(const std::string& service, const std::string& name,
                                         const std::string& value) const;

    std::string m_confRoot;
};

} // namespace torvane

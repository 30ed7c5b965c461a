#pragma once

#include "shared/Uuid.h"
#include "shared/VPNProfile.h"

#include <optional>
#include <string>
#include <vector>

namespace torvane {

class DnsProxyControl {
public:
    virtual ~DnsProxyControl() = default;
    virtual bool isRunning() const = 0;
    virtual std::optional<Uuid> ownerID() const = 0;
    virtual void setOwnerID(std::optional<Uuid>) = 0;
    /// `upstreamServers`: where a profile without DNS servers of its own
    /// forwards (the resolvers in use just before connecting).
    virtual void startDnsmasq(const VPNProfile&,
                              const std::vector<std::string>& upstreamServers) = 0;
    virtual void stopDnsmasq() = 0;
    /// The exit status of a held proxy that has ended on its own; nothing
    /// while it runs or when none is held. A proxy that cannot die says
    /// nothing.
    virtual std::optional<int> exitedStatus() { return std::nullopt; }
};

} // namespace torvane

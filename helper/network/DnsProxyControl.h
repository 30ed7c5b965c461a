#pragma once

#include "shared/Uuid.h"
#include "shared/VPNProfile.h"

#include <optional>

namespace torvane {

class DnsProxyControl {
public:
    virtual ~DnsProxyControl() = default;
    virtual bool isRunning() const = 0;
    virtual std::optional<Uuid> ownerID() const = 0;
    virtual void setOwnerID(std::optional<Uuid>) = 0;
    virtual void startDnsmasq(const VPNProfile&) = 0;
    virtual void stopDnsmasq() = 0;
    /// The exit status of a held proxy that has ended on its own; nothing
    /// while it runs or when none is held. A proxy that cannot die says
    /// nothing.
    virtual std::optional<int> exitedStatus() { return std::nullopt; }
};

} // namespace torvane

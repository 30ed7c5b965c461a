#pragma once

#include "helper/network/DnsProxyControl.h"
#include "helper/network/NetworkContext.h"
#include "helper/process/ChildProcess.h"
#include "shared/Clock.h"

#include <functional>
#include <memory>
#include <optional>

namespace torvane {

/// The local DNS proxy: one dnsmasq listening on 127.0.0.1:53 for the tunnel
/// that owns it. Lives on the engine's queue; only its output handler runs
/// on the child's reader thread.
class DnsProxy final : public DnsProxyControl {
public:
    DnsProxy(NetworkContext& context, ProcessLauncher& launcher, Clock& clock);
    ~DnsProxy() override;

    DnsProxy(const DnsProxy&) = delete;
    DnsProxy& operator=(const DnsProxy&) = delete;

    /// True while a started proxy is held (it may have died since: see
    /// exitedStatus).
    bool isRunning() const override;
    std::optional<int> exitedStatus() override;
    std::optional<Uuid> ownerID() const override;
    void setOwnerID(std::optional<Uuid> owner) override;

    /// Writes staging root + "/dnsmasq.conf" (see dnsmasqConfigText), launches dnsmasq with it and
    /// waits 0.5 s for it to stay up. Throws EngineError (missing program,
    /// unencodable or refused configuration, early exit, launch failure);
    /// nothing is held then.
    void startDnsmasq(const VPNProfile& profile,
                      const std::vector<std::string>& upstreamServers) override;
    /// SIGTERM, up to 3 s for it to go, then SIGKILL; clears the owner.
    /// Never fails.
    void stopDnsmasq() override;
    /// For the force kill: drops the process and the owner without the
    /// graceful stop. The child is killed (SIGKILL) and reaped, so it never
    /// lingers.
    void forgetDnsmasq();

    /// staging root + "/dnsmasq.conf".
    std::string configPath() const;

private:
    struct OutputRelay;

    NetworkContext& m_context;
    ProcessLauncher& m_launcher;
    Clock& m_clock;

    std::unique_ptr<ChildProcess> m_process;
    std::optional<Uuid> m_ownerID;
};

} // namespace torvane

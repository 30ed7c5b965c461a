#pragma once

#include "helper/engine/Tunnel.h"
#include "helper/network/DnsProxyControl.h"
#include "helper/network/DynamicStore.h"
#include "helper/network/NetworkContext.h"

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace torvane {

/// Makes the system resolve through the highest-priority live tunnel that
/// has DNS settings: rewrites the primary network service's DNS entry in the
/// dynamic store, keeps it rewritten when the network re-publishes its own
/// values, and puts everything back when the last such tunnel goes. (The
/// store has no manual DNS layer beneath a service's own: there is only
/// the one resolver configuration to rewrite.) Also decides which
/// tunnel owns the local DNS proxy.
///
/// Lives inside the engine; every member runs on the engine queue, including
/// the store's change handler. Not thread-safe.
class DnsOverride {
public:
    static constexpr const char* kGlobalIPv4Key = "State:/Network/Global/IPv4";
    static constexpr const char* kServiceDNSPattern = "State:/Network/Service/[^/]+/DNS";
    /// Where the pre-override resolvers are read.
    static constexpr const char* kSystemResolvConf = "/etc/resolv.conf";

    /// `storeFactory` opens the store session on first use (and again after
    /// a failure). `resolvConfPath` is the file effectiveSystemDNSServers
    /// reads.
    DnsOverride(NetworkContext& context, DnsProxyControl& proxy, DynamicStoreFactory storeFactory,
                std::string resolvConfPath = kSystemResolvConf);
    ~DnsOverride();
    DnsOverride(const DnsOverride&) = delete;
    DnsOverride& operator=(const DnsOverride&) = delete;

    /// Runs when a store notification names "State:/Network/Global/IPv4",
    /// after the override has been enforced again (path-change recovery).
    void setPrimaryServiceChangeHandler(std::function<void()> handler);

    /// Chooses the DNS tunnel and the proxy owner among `byPriority` (the
    /// engine's tunnels, most important first) and applies or restores. May
    /// set the proxy owner's `message` when the proxy fails to start.
    void reconcileDNS(const std::vector<Tunnel*>& byPriority);
    /// When the proxy has exited on its own, releases it and reconciles
    /// again (which starts it anew for its owner, or falls back to the
    /// owner's servers when it cannot start). Returns whether it had exited.
    bool recoverExitedProxy(const std::vector<Tunnel*>& byPriority);
    /// Adopts a desired DNS set (owner = the profile's name, for the log) and
    /// enforces it; two empty lists change nothing.
    void applyDNS(const std::vector<std::string>& servers,
                  const std::vector<std::string>& searchDomains, const std::string& owner);
    /// Makes the primary service carry the desired DNS; idempotent.
    void enforceDNSOverride();
    /// The dictionary to publish for a service whose own DNS was `original`.
    StoreDictionary stampDict(const std::optional<StoreDictionary>& original) const;
    /// Takes the pre-override resolvers (upstreamServers) and writes them to
    /// the upstream file, once per override.
    void captureOriginalDNSIfNeeded();
    /// The resolvers in use right now, before our override: the primary
    /// service's servers as the store reports them (with systemd-resolved,
    /// the primary link's), else the resolv.conf file's. Never a local stub
    /// or our own proxy's address, which would send the proxy's queries back
    /// into the override.
    std::vector<std::string> currentUpstreamServers();
    /// The resolvers the resolv.conf file lists, in order; empty when it is
    /// unreadable.
    std::vector<std::string> effectiveSystemDNSServers() const;
    /// What the system resolver uses now: the open store session's view when
    /// its backend has one, else the resolv.conf file. Reads only, and opens
    /// no session.
    ResolverInUse resolverInUse() const;
    /// Undoes everything and returns to idle.
    void restoreDNS();
    /// Puts one service's State DNS entry back (or removes it when the
    /// override created it).
    void restoreServiceStateDNS(const std::string& serviceID, DynamicStore& store);
    /// The store session, opened on demand; nothing when it cannot be opened.
    DynamicStore* dnsDynamicStore();
    std::optional<std::string> primaryServiceID();
    std::optional<StoreDictionary> storeValue(const std::string& key);

    /// Watches the primary service and every service's DNS while tunnels
    /// exist, nothing otherwise (opens the session when needed).
    void updateNotificationKeys(bool tunnelsExist);
    /// Empties the watched keys of an open session; opens none.
    void clearNotificationKeys();
    /// The store's change handler: enforces again while active and reports
    /// whether the primary service key changed.
    bool storeChanged(const std::vector<std::string>& changedKeys);

    bool dnsOverrideActive() const { return m_dnsOverrideActive; }
    const std::vector<std::string>& desiredDNSServers() const { return m_desiredDNSServers; }
    const std::vector<std::string>& desiredSearchDomains() const { return m_desiredSearchDomains; }
    const std::optional<std::string>& overriddenServiceID() const { return m_overriddenServiceID; }
    bool upstreamDNSCaptured() const { return m_upstreamDNSCaptured; }
    const std::vector<std::string>& upstreamServers() const { return m_upstreamServers; }
    /// stagingRoot + "/upstream.resolv.conf".
    std::string upstreamResolvConfPath() const;

private:
    NetworkContext& m_context;
    DnsProxyControl& m_proxy;
    DynamicStoreFactory m_storeFactory;
    std::string m_resolvConfPath;
    std::function<void()> m_onPrimaryServiceChange;

    std::unique_ptr<DynamicStore> m_dnsStore;
    bool m_dnsOverrideActive = false;
    std::vector<std::string> m_desiredDNSServers;
    std::vector<std::string> m_desiredSearchDomains;
    std::optional<std::string> m_overriddenServiceID;
    std::set<std::string> m_dnsTouchedServiceIDs;
    std::map<std::string, StoreDictionary> m_savedStateDNS;
    /// The stamp last written to each service, still in place unless the
    /// network replaced it.
    std::map<std::string, StoreDictionary> m_writtenStamps;
    bool m_upstreamDNSCaptured = false;
    std::vector<std::string> m_upstreamServers;
};

} // namespace torvane

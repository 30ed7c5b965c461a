#include "helper/network/DnsOverride.h"

#include "helper/network/DnsLogText.h"
#include "helper/process/EngineError.h"
#include "helper/process/FileWriter.h"
#include "shared/TextPieces.h"

#include <algorithm>
#include <exception>
#include <fstream>
#include <sstream>

namespace torvane {

namespace {

std::string stateDNSKey(const std::string& serviceID) {
    return "State:/Network/Service/" + serviceID + "/DNS";
}

// systemd-resolved's stub, and the address our own proxy listens on: as an
// upstream either one loops back into the override.
bool isLocalStub(const std::string& server) {
    return server == "127.0.0.53" || server == "127.0.0.1";
}

bool wantsDNS(const VPNProfile& profile) {
    return profile.dnsmasqEnabled || !profile.dnsServers.empty() || !profile.searchDomains.empty();
}

std::string joined(const std::set<std::string>& items) {
    std::string text;
    for (const auto& item : items) {
        if (!text.empty()) {
            text += ", ";
        }
        text += item;
    }
    return text;
}

} // namespace

DnsOverride::DnsOverride(NetworkContext& context, DnsProxyControl& proxy,
                         DynamicStoreFactory storeFactory, std::string resolvConfPath)
    : m_context(context), m_proxy(proxy), m_storeFactory(std::move(storeFactory)),
      m_resolvConfPath(std::move(resolvConfPath)) {}

DnsOverride::~DnsOverride() = default;

void DnsOverride::setPrimaryServiceChangeHandler(std::function<void()> handler) {
    m_onPrimaryServiceChange = std::move(handler);
}

std::string DnsOverride::upstreamResolvConfPath() const {
    return m_context.stagingRoot + "/upstream.resolv.conf";
}

void DnsOverride::reconcileDNS(const std::vector<Tunnel*>& byPriority) {
    std::vector<Tunnel*> candidates;
    for (Tunnel* tunnel : byPriority) {
        if (tunnel->vip || tunnel->tun) {
            candidates.push_back(tunnel);
        }
    }

    Tunnel* dnsTunnel = nullptr;
    for (Tunnel* tunnel : candidates) {
        if (wantsDNS(tunnel->profile)) {
            dnsTunnel = tunnel;
            break;
        }
    }
    if (dnsTunnel != nullptr) {
        captureOriginalDNSIfNeeded();
    }

    Tunnel* proxyTunnel = nullptr;
    for (Tunnel* tunnel : candidates) {
        if (tunnel->profile.dnsmasqEnabled) {
            proxyTunnel = tunnel;
            break;
        }
    }
    const std::optional<Uuid> wantedOwner =
        proxyTunnel != nullptr ? std::optional<Uuid>(proxyTunnel->profile.id) : std::nullopt;

    if (wantedOwner != m_proxy.ownerID()) {
        if (m_proxy.isRunning()) {
            m_proxy.stopDnsmasq();
        }
        if (proxyTunnel != nullptr) {
            std::optional<std::string> failure;
            try {
                m_proxy.startDnsmasq(proxyTunnel->profile, m_upstreamServers);
            } catch (const EngineError& error) {
                failure = error.message();
            } catch (const std::exception& error) {
                failure = error.what();
            }
            // Recorded even after a failure, so that a proxy that cannot
            // start is not retried on every reconcile.
            m_proxy.setOwnerID(wantedOwner);
            if (!failure) {
                m_context.log("dnsmasq owned by '" + proxyTunnel->profile.name +
                              "' (highest-priority dnsmasq profile)");
            } else {
                m_context.log("dnsmasq failed to start: " + *failure +
                              " — falling back to direct DNS servers");
                proxyTunnel->message = "dnsmasq failed: " + *failure;
            }
        }
    }

    if (dnsTunnel == nullptr) {
        restoreDNS();
        return;
    }

    std::vector<std::string> servers;
    if (m_proxy.ownerID() == dnsTunnel->profile.id && m_proxy.isRunning()) {
        servers = {"127.0.0.1"};
    } else if (!dnsTunnel->profile.dnsServers.empty()) {
        servers = dnsTunnel->profile.dnsServers;
    } else if (dnsTunnel->profile.dnsmasqEnabled) {
        // The proxy would have forwarded there; without it, ask them directly.
        servers = m_upstreamServers;
    }
    if (servers.empty() && dnsTunnel->profile.searchDomains.empty()) {
        // Nothing to set: leaving an earlier set (the proxy's 127.0.0.1,
        // where nothing answers any more) would break every lookup.
        restoreDNS();
        return;
    }
    applyDNS(servers, dnsTunnel->profile.searchDomains, dnsTunnel->profile.name);
}

bool DnsOverride::recoverExitedProxy(const std::vector<Tunnel*>& byPriority) {
    // resolv.conf still names 127.0.0.1, where nothing answers now: every
    // lookup fails while the tunnel looks connected.
    const auto status = m_proxy.exitedStatus();
    if (!status) {
        return false;
    }
    m_context.log("dnsmasq exited unexpectedly (status " + std::to_string(*status) +
                  ") — restarting");
    m_proxy.stopDnsmasq();
    reconcileDNS(byPriority);
    return true;
}

void DnsOverride::applyDNS(const std::vector<std::string>& servers,
                           const std::vector<std::string>& searchDomains,
                           const std::string& owner) {
    if (servers.empty() && searchDomains.empty()) {
        return;
    }
    if (servers != m_desiredDNSServers || searchDomains != m_desiredSearchDomains) {
        m_context.log("DNS override → servers " + dnsLogList(servers) + ", search " +
                      dnsLogList(searchDomains) + " — from '" + owner + "'");
    }
    m_desiredDNSServers = servers;
    m_desiredSearchDomains = searchDomains;
    m_dnsOverrideActive = true;
    enforceDNSOverride();
}

StoreDictionary DnsOverride::stampDict(const std::optional<StoreDictionary>& original) const {
    auto pick = [&](const std::vector<std::string>& desired, const char* key) {
        if (!desired.empty()) {
            return desired;
        }
        if (original) {
            if (auto list = storeList(*original, key)) {
                return *list;
            }
        }
        return std::vector<std::string>{};
    };
    const auto servers = pick(m_desiredDNSServers, "ServerAddresses");
    const auto domains = pick(m_desiredSearchDomains, "SearchDomains");
    StoreDictionary stamped;
    if (!servers.empty()) {
        stamped["ServerAddresses"] = servers;
    }
    if (!domains.empty()) {
        stamped["SearchDomains"] = domains;
    }
    return stamped;
}

void DnsOverride::enforceDNSOverride() {
    if (!m_dnsOverrideActive) {
        return;
    }
    DynamicStore* store = dnsDynamicStore();
    if (store == nullptr) {
        return;
    }
    const auto primary = primaryServiceID();
    if (!primary) {
        m_context.log("DNS override: no primary network service right now — will re-apply when "
                      "one appears");
        return;
    }
    if (m_overriddenServiceID && *m_overriddenServiceID != *primary) {
        const std::string old = *m_overriddenServiceID;
        restoreServiceStateDNS(old, *store);
        m_context.log("DNS override: primary service changed (" + old + " → " + *primary +
                      ") — moving override");
    }
    m_overriddenServiceID = *primary;

    const std::string key = stateDNSKey(*primary);
    const auto current = storeValue(key);

    if (!m_dnsTouchedServiceIDs.contains(*primary)) {
        m_dnsTouchedServiceIDs.insert(*primary);
        if (current) {
            m_savedStateDNS[*primary] = *current;
        }
    } else if (current) {
        const auto saved = m_savedStateDNS.find(*primary);
        const std::optional<StoreDictionary> original =
            saved != m_savedStateDNS.end() ? std::optional(saved->second) : std::nullopt;
        // Our previous stamp also counts as ours: after the desired set
        // changed it no longer equals the stamp computed now, and taking it
        // for the network's own values would lose the real original.
        const auto written = m_writtenStamps.find(*primary);
        const bool isOurStamp = *current == stampDict(original) ||
                                (written != m_writtenStamps.end() && *current == written->second);
        const bool isOriginal = original && *current == *original;
        if (!isOurStamp && !isOriginal) {
            m_savedStateDNS[*primary] = *current;
            m_context.log("DNS override: service " + *primary +
                          " re-published its DNS underneath us — updated saved original");
        }
    }

    const auto saved = m_savedStateDNS.find(*primary);
    const std::optional<StoreDictionary> original =
        saved != m_savedStateDNS.end() ? std::optional(saved->second) : std::nullopt;
    m_context.recordUndo("dns " + *primary, UndoStep::putBack(key, original));
    const StoreDictionary stamped = stampDict(original);
    if (!current || *current != stamped) {
        if (store->setValue(key, stamped)) {
            m_writtenStamps[*primary] = stamped;
            m_context.log("DNS set on primary service " + *primary + " (" + dnsLogDict(stamped) +
                          ")");
        } else {
            m_context.log("DNS set FAILED on " + key + ": " + store->lastErrorText());
        }
    }
}

void DnsOverride::captureOriginalDNSIfNeeded() {
    if (m_upstreamDNSCaptured) {
        return;
    }
    m_upstreamDNSCaptured = true;
    m_upstreamServers = currentUpstreamServers();
    if (m_upstreamServers.empty()) {
        m_context.log("DNS: no resolvers in use before connecting — a DNS proxy without servers "
                      "of its own has nowhere to forward");
    }
    std::string text;
    for (const auto& server : m_upstreamServers) {
        text += "nameserver " + server + "\n";
    }
    try {
        writeFile(text, upstreamResolvConfPath(), 0600);
    } catch (const EngineError&) {
        // Only the DNS proxy reads the file; without it the proxy forwards
        // nowhere, which the override itself does not depend on.
    }
}

std::vector<std::string> DnsOverride::currentUpstreamServers() {
    std::vector<std::string> servers;
    if (const auto primary = primaryServiceID()) {
        if (const auto value = storeValue(stateDNSKey(*primary))) {
            servers = storeList(*value, "ServerAddresses").value_or(std::vector<std::string>{});
        }
    }
    std::erase_if(servers, isLocalStub);
    if (servers.empty()) {
        servers = effectiveSystemDNSServers();
        std::erase_if(servers, isLocalStub);
    }
    return servers;
}

ResolverInUse DnsOverride::resolverInUse() const {
    if (m_dnsStore) {
        if (auto view = m_dnsStore->resolverInUse()) {
            return std::move(*view);
        }
    }
    return {effectiveSystemDNSServers(), m_resolvConfPath, {}, {}};
}

std::vector<std::string> DnsOverride::effectiveSystemDNSServers() const {
    std::ifstream file(m_resolvConfPath, std::ios::binary);
    if (!file) {
        return {};
    }
    std::vector<std::string> servers;
    std::string line;
    while (std::getline(file, line)) {
        line = std::string(trimmedText(line));
        if (!line.starts_with("nameserver")) {
            continue;
        }
        // The resolver takes a tab as well as a space after the keyword.
        const auto space = line.find_first_of(" \t");
        if (space == std::string::npos) {
            continue;
        }
        // "nameservers 1.2.3.4" or "nameserverX …" is not a resolver line.
        if (line.substr(0, space) != "nameserver") {
            continue;
        }
        const std::string server(trimmedText(std::string_view(line).substr(space + 1)));
        if (!server.empty()) {
            servers.push_back(server);
        }
    }
    return servers;
}

void DnsOverride::restoreDNS() {
    if (!m_dnsOverrideActive && !m_upstreamDNSCaptured) {
        return;
    }
    if (DynamicStore* store = dnsDynamicStore()) {
        // The service overridden last first: where one file serves every
        // service, an earlier primary's restore must find the file already
        // back in the network's hands, not still holding our override.
        if (m_overriddenServiceID && m_dnsTouchedServiceIDs.contains(*m_overriddenServiceID)) {
            restoreServiceStateDNS(*m_overriddenServiceID, *store);
        }
        for (const auto& serviceID : m_dnsTouchedServiceIDs) {
            if (serviceID != m_overriddenServiceID) {
                restoreServiceStateDNS(serviceID, *store);
            }
        }
    }
    if (!m_dnsTouchedServiceIDs.empty()) {
        m_context.log("DNS restored (services: " + joined(m_dnsTouchedServiceIDs) + ")");
    }
    m_dnsTouchedServiceIDs.clear();
    m_savedStateDNS.clear();
    m_writtenStamps.clear();
    m_overriddenServiceID.reset();
    m_desiredDNSServers.clear();
    m_desiredSearchDomains.clear();
    m_dnsOverrideActive = false;
    m_upstreamDNSCaptured = false;
    m_upstreamServers.clear();
}

void DnsOverride::restoreServiceStateDNS(const std::string& serviceID, DynamicStore& store) {
    const std::string key = stateDNSKey(serviceID);
    const auto saved = m_savedStateDNS.find(serviceID);
    const std::optional<StoreDictionary> original =
        saved != m_savedStateDNS.end() ? std::optional(saved->second) : std::nullopt;
    // The network may have published new DNS after our last write and
    // before its notice reached us (a DHCP renewal during the teardown):
    // that is what the user expects back, not the older copy we saved.
    const auto written = m_writtenStamps.find(serviceID);
    const auto current = store.copyValue(key);
    const bool republished = current && *current != stampDict(original) &&
                             (written == m_writtenStamps.end() || *current != written->second) &&
                             (!original || *current != *original);
    m_writtenStamps.erase(serviceID);
    if (republished) {
        m_context.log("DNS restore: service " + serviceID +
                      " re-published its DNS underneath us — keeping the network's values");
        m_context.forgetUndo("dns " + serviceID);
        return;
    }
    if (saved != m_savedStateDNS.end()) {
        if (!store.setValue(key, saved->second)) {
            m_context.log("DNS restore FAILED on " + key + ": " + store.lastErrorText());
        }
    } else {
        store.removeValue(key);
    }
    m_context.forgetUndo("dns " + serviceID);
}

DynamicStore* DnsOverride::dnsDynamicStore() {
    if (m_dnsStore) {
        return m_dnsStore.get();
    }
    auto created = m_storeFactory(
        [this](const std::vector<std::string>& changedKeys) { storeChanged(changedKeys); });
    if (!created) {
        m_context.log("network store could not be opened: " + created.error() +
                      " — cannot apply DNS");
        return nullptr;
    }
    m_dnsStore = std::move(*created);
    return m_dnsStore.get();
}

std::optional<std::string> DnsOverride::primaryServiceID() {
    if (const auto global = storeValue(kGlobalIPv4Key)) {
        return storeText(*global, "PrimaryService");
    }
    return std::nullopt;
}

std::optional<StoreDictionary> DnsOverride::storeValue(const std::string& key) {
    DynamicStore* store = dnsDynamicStore();
    if (store == nullptr) {
        return std::nullopt;
    }
    return store->copyValue(key);
}

void DnsOverride::updateNotificationKeys(bool tunnelsExist) {
    DynamicStore* store = dnsDynamicStore();
    if (store == nullptr) {
        return;
    }
    if (tunnelsExist) {
        store->setNotificationKeys({kGlobalIPv4Key}, {kServiceDNSPattern});
    } else {
        store->setNotificationKeys({}, {});
    }
}

void DnsOverride::clearNotificationKeys() {
    if (m_dnsStore) {
        m_dnsStore->setNotificationKeys({}, {});
    }
}

bool DnsOverride::storeChanged(const std::vector<std::string>& changedKeys) {
    if (m_dnsOverrideActive) {
        enforceDNSOverride();
    }
    const bool primaryChanged =
        std::find(changedKeys.begin(), changedKeys.end(), kGlobalIPv4Key) != changedKeys.end();
    if (primaryChanged && m_onPrimaryServiceChange) {
        m_onPrimaryServiceChange();
    }
    return primaryChanged;
}

} // namespace torvane

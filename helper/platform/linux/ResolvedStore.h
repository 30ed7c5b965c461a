#pragma once

#include "helper/network/DynamicStore.h"
#include "helper/platform/linux/StoreChangeWatcher.h"
#include "helper/platform/linux/StoreNotifier.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <regex>
#include <string>
#include <vector>

struct sd_bus;
struct sd_bus_message;

namespace torvane {

/// One link's DNS as systemd-resolved holds it.
struct ResolvedLinkDNS {
    struct Server {
        int family = 0; // AF_INET or AF_INET6
        std::vector<std::uint8_t> address;
        friend bool operator==(const Server&, const Server&) = default;
    };
    struct Domain {
        std::string name;
        bool routeOnly = false;
        friend bool operator==(const Domain&, const Domain&) = default;
    };
    std::vector<Server> servers;
    std::vector<Domain> domains;
    friend bool operator==(const ResolvedLinkDNS&, const ResolvedLinkDNS&) = default;
};

/// The dynamic store over systemd-resolved's per-link DNS (D-Bus service
/// org.freedesktop.resolve1 on the system bus; DBUS_SYSTEM_BUS_ADDRESS
/// chooses another bus):
///   "State:/Network/Global/IPv4"     {"PrimaryService": interface of the
///                                      main table's IPv4 default route}
///   "State:/Network/Service/ID/DNS"  the link's "ServerAddresses" and
///                                     search "SearchDomains", plus everything
///                                     resolved holds for it (kLinkStateKey)
///   "Setup:/Network/Service/ID"      {"UserDefinedName": ID}
///   "Setup:/Network/Service/ID/DNS"  absent (no manual-DNS layer)
///
/// Writing a service's DNS sets the link's servers and domains; while it has
/// servers of ours the link also gets the routing domain "~." so that every
/// name is resolved through it, not through other links as well. resolved
/// sends a link's queries out of that link whatever the routing table says,
/// so servers the kernel routes through another interface (a tunnel's) go
/// onto that interface's link instead, and the service's own link keeps its
/// DNS; reading the service then gives our dictionary while both links hold
/// what was written. A
/// dictionary carrying kLinkStateKey puts exactly those servers and domains
/// back, so a saved dictionary restores the link in another process too.
/// Removing the key puts back what the link had before our first write.
///
/// Store calls run on the engine queue. Notifications come from netlink
/// (the default route), from resolved's PropertiesChanged signals and from
/// resolved rewriting its own resolv.conf; they are posted through the post
/// function. Destroy the store on the engine queue.
class ResolvedStore final : public DynamicStore {
public:
    /// The entry holding the link's complete DNS: "dns ADDRESS",
    /// "domain NAME" and "route NAME" (a routing-only domain) items.
    static constexpr const char* kLinkStateKey = "TorvaneResolvedLink";

    struct Options {
        /// A file resolved rewrites whenever its DNS changes.
        std::string resolvedResolvConfPath = "/run/systemd/resolve/resolv.conf";
        /// The primary interface; the main table's default route when empty.
        std::function<std::optional<std::string>()> primaryInterface;
        /// The interface traffic to an address leaves by; the kernel's route
        /// lookup when empty.
        std::function<std::optional<std::string>(const std::string&)> routeInterface;
    };

    static Expected<std::unique_ptr<DynamicStore>, std::string>
    create(ChangeHandler onChange, PostFunction post, Options options);
    ~ResolvedStore() override;
    ResolvedStore(const ResolvedStore&) = delete;
    ResolvedStore& operator=(const ResolvedStore&) = delete;

    std::optional<StoreDictionary> copyValue(const std::string& key) override;
    bool setValue(const std::string& key, const StoreDictionary& value) override;
    bool removeValue(const std::string& key) override;
    std::string lastErrorText() const override { return m_lastError; }
    void setNotificationKeys(const std::vector<std::string>& keys,
                             const std::vector<std::string>& patterns) override;
    /// The servers on the link holding ours (the primary link's when none
    /// are written), and which of the domains written with them it lacks.
    std::optional<ResolverInUse> resolverInUse() override;

private:
    class SignalThread;
    struct Link {
        int index = 0;
        std::string path;
    };

    ResolvedStore(ChangeHandler onChange, PostFunction post, Options options);
    /// The primary interface (with its router) as the options or the
    /// routing table say.
    std::optional<DefaultRoute> route() const;
    std::optional<std::string> primary() const;
    bool connected();
    std::optional<Link> link(const std::string& interface);
    std::optional<ResolvedLinkDNS> readLink(const Link& link);
    bool writeLink(const std::string& interface, const ResolvedLinkDNS& dns);
    /// Calls resolved's Manager METHOD for link `index`, the rest of the
    /// arguments appended by `appendValues` (a negative errno on failure).
    bool callLinkMethod(const char* method, int index,
                        const std::function<int(sd_bus_message*)>& appendValues);
    bool setServers(int index, const std::vector<ResolvedLinkDNS::Server>& servers);
    bool setDomains(int index, const std::vector<ResolvedLinkDNS::Domain>& domains);
    /// The link our servers in `dns` belong on when it is not `service`'s
    /// own: the one the kernel routes the first IPv4 server through.
    std::optional<std::string> divertedLink(const std::string& service,
                                            const ResolvedLinkDNS& dns) const;
    /// Puts back the link a service's servers were diverted to, if any.
    bool restoreDiverted(const std::string& service);
    void routingChanged();
    void dnsChanged();

    StoreNotifier m_notifier; // before the threads that call it, so it outlives them
    Options m_options;
    sd_bus* m_bus = nullptr;
    std::string m_lastError;
    /// What we wrote for a service: its link's DNS as read back afterwards,
    /// the dictionary it was written from, and where the servers were
    /// diverted to with what that link held then.
    struct Written {
        ResolvedLinkDNS own;
        StoreDictionary dictionary;
        std::optional<std::pair<std::string, ResolvedLinkDNS>> diverted;
    };

    /// Per interface: what it had before our first write.
    std::map<std::string, ResolvedLinkDNS> m_original;
    /// Per service.
    std::map<std::string, Written> m_written;

    std::unique_ptr<SignalThread> m_signals;
    std::unique_ptr<StoreChangeWatcher> m_watcher; // last: stops first
};

/// The link's DNS as a store dictionary (see ResolvedStore).
StoreDictionary resolvedDictionary(const ResolvedLinkDNS& dns);
/// What resolved should hold for a dictionary: its kLinkStateKey items when
/// present, otherwise "ServerAddresses" and "SearchDomains" (with "~." while
/// there are servers). A malformed entry is an error.
Expected<ResolvedLinkDNS, std::string> resolvedLinkDNS(const StoreDictionary& dictionary);

/// Whether the resolv.conf at `path` hands name resolution to resolved: a
/// symlink to its stub-resolv.conf or resolv.conf, or a file listing the
/// stub's address 127.0.0.53.
bool resolvConfPointsAtResolved(const std::string& path);
/// Whether org.freedesktop.resolve1 has an owner on the system bus (asked
/// without starting it).
bool resolvedAnswers();
/// The backend choice: resolved when `path` points at it and it answers
/// (asked only then).
bool useResolvedStore(const std::string& path, const std::function<bool()>& answers);

} // namespace torvane
